# Names of DOS and Windows programs without the UTF-8 flag are code page 437, and a backslash
# separates their folders.
import sys
from zipcraft import *

write(sys.argv[1] + "/dos.zip", [
    Entry("Grüße\\Brief.txt".encode("cp437"), b"Hallo", made_by=(FAT << 8) | 20),
    Entry("Maß.txt".encode("cp437"), b"1 m", made_by=(FAT << 8) | 20),
    Entry("Bücher.txt".encode("utf-8"), b"utf8", made_by=(FAT << 8) | 20, flags=FLAG_UTF8),
])
