# The second entry's name holds the bytes of an end record. In the central directory they stand
# right after the first header; the false record names a directory of two entries that ends
# there and a comment that reaches exactly to the end of the file, while the real end record is
# followed by bytes of another program. The false directory does not read whole: the search
# goes on backwards to the real one instead of giving up.
import struct
import sys
import zipcraft
from zipcraft import Entry

def build(size, offset, length):
    fake = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, size, offset, length)
    entries = [Entry(b"a.txt", b"eins"), Entry(b"x" + fake + b".txt", b"seltsam")]
    return zipcraft.build(entries) + b"\r\n--"

data = build(0, 0, 0)
real_end = data.rfind(b"PK\x05\x06")
in_central = data.rfind(b"PK\x05\x06", 0, real_end)
central = data.find(b"PK\x01\x02")
data = build(in_central - central, central, len(data) - in_central - 22)
with open(sys.argv[1] + "/name.zip", "wb") as f:
    f.write(data)
