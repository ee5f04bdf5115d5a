# A ustar archive of a.txt, b.txt, c.txt whose header of b.txt has a destroyed checksum: b.txt
# and its data are no entry. GNU tar skips to the next header and exits 2.
import io, sys, tarfile
out = sys.argv[1]
buffer = io.BytesIO()
with tarfile.open(fileobj=buffer, mode='w', format=tarfile.USTAR_FORMAT) as t:
    for name, data in (('a.txt', b'alpha' * 10), ('b.txt', b'bravo' * 300), ('c.txt', b'charlie')):
        info = tarfile.TarInfo(name)
        info.size = len(data)
        info.mode = 0o644
        info.mtime = 1700000000
        t.addfile(info, io.BytesIO(data))
archive = bytearray(buffer.getvalue())
archive[1024 + 148:1024 + 156] = b'XXXXXXX\0'
open(out + '/kopf-mitte.tar', 'wb').write(archive)
