# Pax records with keywords no reader knows: GNU tar ignores them (exit 0), as does libarchive.
import io, sys, tarfile
out = sys.argv[1]
with tarfile.open(out + '/pax-unbekannt.tar', 'w', format=tarfile.PAX_FORMAT) as t:
    for name, data, pax in (('a.txt', b'alpha', None), ('b.txt', b'bravo', {'VENDRASK.notiz': 'hallo', 'foo': 'bar'}),
                            ('c.txt', b'charlie', None)):
        info = tarfile.TarInfo(name)
        info.size = len(data)
        info.mode = 0o644
        info.mtime = 1700000000
        if pax:
            info.pax_headers = pax
        t.addfile(info, io.BytesIO(data))
