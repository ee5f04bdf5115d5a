#!/usr/bin/env python3
"""Changes a ZIP archive as someone covering their tracks would, rewriting it with Python's
zipfile so that every CRC fits again. Modes:
  content NAME        one byte of NAME's content changed, its fingerprint left as it was
  refingerprint NAME  the same, with the fingerprint in both headers made to fit the new content
  reorder             the entries written in reverse order
  drop-comment        the archive's comment removed"""
import hashlib
import struct
import sys
import zipfile

FIELD_ID = 0x6B76


def with_fingerprint(extra, digest):
    out = b""
    pos = 0
    while pos + 4 <= len(extra):
        ident, size = struct.unpack_from("<HH", extra, pos)
        data = extra[pos + 4:pos + 4 + size]
        if ident == FIELD_ID:
            data = b"\x01" + digest
        out += struct.pack("<HH", ident, len(data)) + data
        pos += 4 + size
    return out


def main(path, mode, name=None):
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
        comment = source.comment
    if mode == "reorder":
        entries.reverse()
    if mode == "drop-comment":
        comment = b""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        target.comment = comment
        for info, data in entries:
            copy = zipfile.ZipInfo(info.filename, info.date_time)
            copy.external_attr = info.external_attr
            copy.create_system = info.create_system
            copy.extra = info.extra
            if info.filename == name:
                data = bytes([data[0] ^ 0x20]) + data[1:]
                if mode == "refingerprint":
                    copy.extra = with_fingerprint(info.extra, hashlib.sha256(data).digest())
            copy.compress_type = zipfile.ZIP_STORED if info.is_dir() else zipfile.ZIP_DEFLATED
            target.writestr(copy, data)


main(*sys.argv[1:])
