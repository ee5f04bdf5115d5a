# A ustar archive of a.txt, b.txt, c.txt with a block of rubbish after the last entry, before the
# end-of-archive zero blocks. GNU tar: "Skipping to next header", exit 2.
import io, sys, tarfile
out = sys.argv[1]
buffer = io.BytesIO()
with tarfile.open(fileobj=buffer, mode='w', format=tarfile.USTAR_FORMAT) as t:
    for name, data in (('a.txt', b'alpha'), ('b.txt', b'bravo'), ('c.txt', b'charlie')):
        info = tarfile.TarInfo(name)
        info.size = len(data)
        info.mode = 0o644
        info.mtime = 1700000000
        t.addfile(info, io.BytesIO(data))
sound = buffer.getvalue()
end = 3 * 1024  # three entries of one header and one data block each
open(out + '/muell-hinten.tar', 'wb').write(sound[:end] + b'Y' * 512 + sound[end:])
