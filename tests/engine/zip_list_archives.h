#pragma once
// ZIP archives of every shape the directory reader takes, and damaged ones, for the tests of
// listing: a Python script run with the folder to write them to.

namespace archivtest {

// Writes the archives of the table into the folder named by its argument; times are fixed,
// and the child runs in UTC, so that the lines are the same on every machine.
inline constexpr const char* kArchives = R"PY(
import os, struct, sys, zlib

DOS_TIME = (10 << 11) | (20 << 5) | 15      # 10:20:30
DOS_DATE = ((2020 - 1980) << 9) | (5 << 5) | 17  # 2020-05-17
UNIX, DOS = 0x0314, 0x0014


def stamp(seconds):
    return struct.pack("<HHBI", 0x5455, 5, 1, seconds)


def archive(path, entries, prefix=b"", zip64=False, total=None, broken=None, comment=lambda n: b""):
    """entries: (name bytes, data, made by, external attributes, flags, extra, zip64 sizes)."""
    local, central = [], []
    offset = 0
    for number, (name, data, made, attributes, flags, extra, big) in enumerate(entries):
        crc = zlib.crc32(data)
        size = 0xFFFFFFFF if big else len(data)
        z64 = struct.pack("<HHQQ", 1, 16, len(data), len(data)) if big else b""
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if big else 10, flags, 0, DOS_TIME, DOS_DATE, crc,
                             size, size, len(name), len(z64 + extra)) + name + z64 + extra
        record = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50 if number != broken else 0x02014B51, made,
                             45 if big else 10, flags, 0, DOS_TIME, DOS_DATE, crc, size, size, len(name),
                             len(z64 + extra), len(comment(number)), 0, 0, attributes, offset)
        record += name + z64 + extra + comment(number)
        local.append(header + data)
        central.append(record)
        offset += len(header) + len(data)
    directory = b"".join(central)
    count = len(entries) if total is None else total
    tail = b""
    if zip64:
        tail += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, UNIX, 45, 0, 0, count, count, len(directory), offset)
        tail += struct.pack("<IIQI", 0x07064B50, 0, offset + len(directory), 1)
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    else:
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory), offset, 0)
    with open(path, "wb") as out:
        out.write(prefix + b"".join(local) + directory + tail)


def file(name, data=b"", made=UNIX, mode=0o100644, flags=0, extra=b"", big=False):
    return (name, data, made, mode << 16, flags, extra, big)


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
plain = [file(b"a.txt", b"Hallo\n"), file(b"daten/", mode=0o040755), file(b"daten/b.txt", b"Beleg 1;\n" * 40,
         extra=stamp(1_700_000_000)), (b"dosdir", b"", DOS, 0x10, 0, b"", False),
         file(b"unixdir", mode=0o040755), file(b"daten/leer.dat"), file(b"nur/lesbar.txt", b"x", mode=0o100444)]
archive(os.path.join(out, "plain.zip"), plain)
archive(os.path.join(out, "zip64.zip"), [file(b"gross.bin", b"0123456789", big=True), file(b"klein.txt", b"k"),
                                         file(b"ordner/", mode=0o040755)], zip64=True)
stub = b"#!/bin/sh\necho selbstentpackend\nexit 0\n" + b"\0" * 500
archive(os.path.join(out, "sfx.zip"), plain[:3], prefix=stub)
archive(os.path.join(out, "sfx.bin"), plain[:3], prefix=stub)
names = [file(b"tab\there.txt", b"1"), file(b"zeile\nneu.txt", b"2"), file(b"back\\slash.txt", b"3"),
         (b"win\\pfad\\datei.txt", b"4", DOS, 0x20, 0, b"", False), file("grüße.txt".encode(), b"5", flags=0x800),
         (b"\x81ber.txt", b"6", DOS, 0x20, 0, b"", False), file(b"\x01ctl\rcr\x7f.txt", b"7")]
archive(os.path.join(out, "names.zip"), names)
many = [file(b"beleg%04d.txt" % n, b"Beleg %d\n" % n) for n in range(4)]
archive(os.path.join(out, "truncated.zip"), many, total=5)
archive(os.path.join(out, "badsig.zip"), many, broken=2)
with open(os.path.join(out, "plain.zip"), "rb") as source:
    whole = source.read()
cut = whole.rfind(b"PK\x01\x02") - 30
with open(os.path.join(out, "cut.zip"), "wb") as target:
    target.write(whole[:cut])
# The directory holds, the first local header does not: only reading the entries shows it.
with open(os.path.join(out, "badlocal.zip"), "wb") as target:
    target.write(b"PK\x03\x05" + whole[4:])
# Central headers of up to 125 KB (a long extra field and comment each): a directory of 7.5 MB
# whose headers lie across the pieces in which it is read.
wide = [file(b"gross/kommentar%03d.txt" % n, b"x" * n,
             extra=struct.pack("<HH", 0xCAFE, 65000 - n * 7) + b"e" * (65000 - n * 7)) for n in range(60)]
archive(os.path.join(out, "wide.zip"), wide, comment=lambda n: b"c" * (60000 + n * 11))
)PY";

}  // namespace archivtest
