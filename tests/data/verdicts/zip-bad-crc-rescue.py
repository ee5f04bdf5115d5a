# One entry of three has a wrong CRC. Extraction writes the two sound ones, puts nothing of the
# damaged one in place, and leaves no folder that only it needed.
import sys
from zipcraft import *

write(sys.argv[1] + "/crc.zip", [
    Entry(b"a.txt", b"eins"),
    Entry(b"nur/hier/b.txt", b"zwei " * 200, method=8, crc=0x12345678),
    Entry(b"c.txt", b"drei"),
])
