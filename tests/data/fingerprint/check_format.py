#!/usr/bin/env python3
"""Checks the fingerprints and the seal of a vendrask archive from the documented format alone
(docs/format.md), independently of vendrask's code. Prints one line per finding; exit status 0
when every file entry carries the right SHA-256 in its local and central header and the
comment's seal fits the entries."""
import hashlib
import struct
import sys
import zipfile

FIELD_ID = 0x6B76


def blocks(extra):
    found = {}
    pos = 0
    while pos + 4 <= len(extra):
        ident, size = struct.unpack_from("<HH", extra, pos)
        found.setdefault(ident, extra[pos + 4:pos + 4 + size])
        pos += 4 + size
    return found


def fingerprint(extra):
    data = blocks(extra).get(FIELD_ID)
    if data is None or len(data) != 33 or data[0] != 1:
        return None
    return data[1:]


def main(path):
    bad = 0
    with open(path, "rb") as raw, zipfile.ZipFile(path) as archive:
        seal = hashlib.sha256()
        for info in archive.infolist():
            central = fingerprint(info.extra)
            raw.seek(info.header_offset)
            header = raw.read(30)
            name_len, extra_len = struct.unpack_from("<HH", header, 26)
            raw.seek(info.header_offset + 30 + name_len)
            local = fingerprint(raw.read(extra_len))
            stored = info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
            if not info.is_dir():
                content = hashlib.sha256(archive.read(info)).digest()
                if central != content or local != content:
                    print("bad fingerprint:", info.filename)
                    bad += 1
            seal.update(struct.pack("<H", len(stored)) + stored + (central or bytes(32)))
        fields = dict(part.split("=", 1) for part in archive.comment.decode().split(" ")[1:])
        if not archive.comment.startswith(b"vendrask-fingerprint/1 "):
            print("no seal")
            bad += 1
        elif int(fields["entries"]) != len(archive.infolist()) or fields["digest"] != seal.hexdigest():
            print("seal does not fit")
            bad += 1
    print("entries:", len(archive.infolist()))
    return 1 if bad else 0


sys.exit(main(sys.argv[1]))
