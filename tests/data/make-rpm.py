#!/usr/bin/env python3
"""Writes a small binary rpm package as rpmbuild lays it out, byte by byte.

An rpm file is the 96-byte lead, the signature header (padded to a multiple of 8 bytes), the
main header and the payload: a cpio archive in the "newc" form, compressed with gzip. Each
header is a magic, the number of index entries and the size of its data store, then the
index entries (tag, type, offset, count) and the store. libarchive skips lead and headers and
reads the payload; nothing here checks digests, so the signature header holds only the size.
"""
import gzip
import struct
import sys

FILES = [
    ("./usr/share/doc/beispiel", 0o040755, b""),
    ("./usr/share/doc/beispiel/liesmich.txt", 0o100644, b"Beispielpaket f\xc3\xbcr vendrask\n"),
    ("./usr/share/doc/beispiel/zahlen.csv", 0o100644, b"".join(b"%d;%d\n" % (i, i * i) for i in range(200))),
]
MTIME = 1700000000


def pad(data, size):
    return data + b"\0" * (-len(data) % size)


def cpio_newc(files):
    out = b""
    ino = 1
    for name, mode, data in files + [("TRAILER!!!", 0, b"")]:
        encoded = name.encode() + b"\0"
        fields = [ino, mode, 0, 0, 2 if mode & 0o040000 else 1, MTIME if mode else 0, len(data), 0, 0, 0, 0,
                  len(encoded), 0]
        out += pad(b"070701" + b"".join(b"%08X" % f for f in fields) + encoded, 4)
        out += pad(data, 4)
        ino += 1
    return out


STRING, INT32 = 6, 4


def header(entries):
    index, store = b"", b""
    for tag, kind, value in entries:
        if kind == INT32:
            store = pad(store, 4)
            index += struct.pack(">IIII", tag, kind, len(store), 1)
            store += struct.pack(">I", value)
        else:
            index += struct.pack(">IIII", tag, kind, len(store), 1)
            store += value.encode() + b"\0"
    return struct.pack(">4s4sII", b"\x8e\xad\xe8\x01", b"\0" * 4, len(entries), len(store)) + index + store


payload = gzip.compress(cpio_newc(FILES), mtime=0)
main = header([(1000, STRING, "beispiel"), (1001, STRING, "1.0"), (1002, STRING, "1"),
               (1124, STRING, "cpio"), (1125, STRING, "gzip")])
signature = pad(header([(1000, INT32, len(main) + len(payload))]), 8)
lead = struct.pack(">4sBBhh66shh16s", b"\xed\xab\xee\xdb", 3, 0, 0, 1, b"beispiel-1.0-1", 1, 5, b"")
with open(sys.argv[1], "wb") as out:
    out.write(lead + signature + main + payload)
