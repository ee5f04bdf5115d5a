# A Unicode Path field whose CRC belongs to another header name: a program that renamed the
# entry without knowing the field left it behind. The header's name holds.
import sys
from zipcraft import *

name = "Übersicht.txt".encode("cp437")
write(sys.argv[1] + "/stale.zip", [
    Entry(name, b"neu", made_by=(FAT << 8) | 20,
          extra=unicode_path(name, "Alter Name.txt".encode(), crc_of=b"Alter Name.txt")),
])
