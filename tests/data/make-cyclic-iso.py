#!/usr/bin/env python3
"""Writes an ISO 9660 image whose Rock Ridge continuation area continues in itself.

bsdtar writes the image; a file name too long for its directory record makes it put the rest
of the name (NM) into a continuation area that a CE field points to. Its first bytes are then
overwritten with a copy of that CE field, so the area names itself as its own continuation.
libarchive 3.6 registers the same area again and again and never returns from reading the
first header.
"""
import os
import struct
import subprocess
import sys
import tempfile

BLOCK = 2048

with tempfile.TemporaryDirectory() as work:
    source = os.path.join(work, "inhalt")
    os.mkdir(source)
    with open(os.path.join(source, "n" * 200), "w") as out:
        out.write("Kreislauf\n")
    image = os.path.join(work, "kreis.iso")
    subprocess.run(["bsdtar", "--format", "iso9660", "--options", "iso9660:!pad", "-cf", image, "-C", source, "."],
                   check=True)
    with open(image, "rb") as inp:
        data = bytearray(inp.read())

position = 0
while True:
    position = data.find(b"CE\x1c\x01", position)
    if position < 0:
        raise SystemExit("no continuation area with a name in it")
    block = struct.unpack_from("<I", data, position + 4)[0]
    offset = struct.unpack_from("<I", data, position + 12)[0]
    area = block * BLOCK + offset
    if data[area:area + 2] == b"NM":
        break
    position += 1
data[area:area + 28] = data[position:position + 28]
with open(sys.argv[1], "wb") as out:
    out.write(data)
