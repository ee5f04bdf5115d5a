# A pax header for b.txt whose only record claims 99 bytes and has 19. libarchive: "Ignoring
# malformed pax extended attribute" (bsdtar exits 1), GNU tar: "Extended header length 99 ...
# is out of range" (exit 2).
import sys, tarfile
out = sys.argv[1]
def header(name, size, kind):
    info = tarfile.TarInfo(name)
    info.size = size
    info.type = kind
    info.mode = 0o644
    info.mtime = 1700000000
    return info.tobuf(format=tarfile.USTAR_FORMAT)
def padded(data):
    return data + b'\0' * (-len(data) % 512)
record = b'99 path=lang/b.txt\n'
archive = header('a.txt', 5, tarfile.REGTYPE) + padded(b'alpha')
archive += header('PaxHeaders/b.txt', len(record), tarfile.XHDTYPE) + padded(record)
archive += header('b.txt', 5, tarfile.REGTYPE) + padded(b'bravo')
archive += header('c.txt', 7, tarfile.REGTYPE) + padded(b'charlie') + b'\0' * 10240
open(out + '/pax-pfad.tar', 'wb').write(archive)
