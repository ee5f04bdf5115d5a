# The archive's comment holds a second end record that names only the first of the two
# entries, placed so that it reaches exactly to the end of the file, as the real one does.
# The real record wins: its directory ends right where it begins.
import struct
import sys
import zipcraft
from zipcraft import Entry

entries = [Entry(b"a.txt", b"eins"), Entry(b"b.txt", b"zwei")]
plain = zipcraft.build(entries)
end = plain.rfind(b"PK\x05\x06")
central = plain.find(b"PK\x01\x02")
first = plain.find(b"PK\x01\x02", central + 4)
fake = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, first - central, central, 0)
comment = b"Kommentar: " + fake
with open(sys.argv[1] + "/kommentar.zip", "wb") as f:
    f.write(zipcraft.build(entries, comment=comment))
