# WinZip and other Windows programs store a name in the DOS code page, with the Unicode Path
# field (0x7075) beside it; a character the code page lacks becomes '_' in the header name.
import sys
from zipcraft import *

oel = "Ölfässer.txt".encode("cp437")
write(sys.argv[1] + "/winzip.zip", [
    Entry(oel, b"Fass", made_by=(NTFS << 8) | 20, extra=unicode_path(oel, "Ölfässer.txt".encode())),
    Entry(b"Preis_.txt", b"12 EUR", made_by=(NTFS << 8) | 20,
          extra=unicode_path(b"Preis_.txt", "Preis€.txt".encode())),
    Entry(b"Lager/Bestand_.txt", b"7", made_by=(NTFS << 8) | 20,
          extra=unicode_path(b"Lager/Bestand_.txt", "Lager/Bestand½.txt".encode())),
])
