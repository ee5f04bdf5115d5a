# A pax archive whose record for b.txt says size=viel. libarchive takes the size for 0, so b.txt
# is empty and its data is read as a header that is none. GNU tar: "invalid size=viel", exit 2.
import io, sys, tarfile
out = sys.argv[1]
with tarfile.open(out + '/pax-groesse.tar', 'w', format=tarfile.PAX_FORMAT) as t:
    for name, data, pax in (('a.txt', b'alpha', None), ('b.txt', b'bravo' * 300, {'size': 'viel'}),
                            ('c.txt', b'charlie', None)):
        info = tarfile.TarInfo(name)
        info.size = len(data)
        info.mode = 0o644
        info.mtime = 1700000000
        if pax:
            info.pax_headers = pax
        t.addfile(info, io.BytesIO(data))
