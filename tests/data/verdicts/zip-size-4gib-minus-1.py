# An entry of exactly 0xFFFFFFFF bytes from a program that knows no Zip64: the full 32-bit
# field is its own size, as unzip reads it. Zeros, deflated in pieces of 16 MiB that each
# end on a full flush, so the archive is made in seconds and stays small.
import sys
import zlib
from zipcraft import *

piece = 16 << 20
size = 0xFFFFFFFF
zeros = bytes(piece)
packer = zlib.compressobj(1, zlib.DEFLATED, -15)
whole = packer.compress(zeros) + packer.flush(zlib.Z_FULL_FLUSH)
packer = zlib.compressobj(1, zlib.DEFLATED, -15)
short = packer.compress(zeros[:piece - 1]) + packer.flush(zlib.Z_FULL_FLUSH)
data = whole * (size // piece) + short + b"\x03\x00"  # an empty final block ends the stream
crc = 0
for _ in range(size // piece):
    crc = zlib.crc32(zeros, crc)
crc = zlib.crc32(zeros[:piece - 1], crc)
entry = Entry(b"nullen.bin", b"", method=8, compressed=data, crc=crc, sizes=(len(data), size))
write(sys.argv[1] + "/gross.zip", [entry, Entry(b"danach.txt", b"danach")])
