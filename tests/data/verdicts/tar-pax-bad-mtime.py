# A pax record mtime=gestern for b.txt. GNU tar: "Malformed extended header: invalid
# mtime=gestern" (exit 2); libarchive reads the time as 0 without a word, as bsdtar shows (exit 0).
import io, sys, tarfile
out = sys.argv[1]
with tarfile.open(out + '/pax-zeit.tar', 'w', format=tarfile.PAX_FORMAT) as t:
    for name, data, pax in (('a.txt', b'alpha', None), ('b.txt', b'bravo', {'mtime': 'gestern'}),
                            ('c.txt', b'charlie', None)):
        info = tarfile.TarInfo(name)
        info.size = len(data)
        info.mode = 0o644
        info.mtime = 1700000000
        if pax:
            info.pax_headers = pax
        t.addfile(info, io.BytesIO(data))
