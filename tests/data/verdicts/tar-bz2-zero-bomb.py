# A tar.bz2 of 5 kB holding one file of 4 GiB of zeros: 64 bzip2 streams of 64 MiB of zeros
# between the streams of the header and of the end blocks.
import bz2, sys, tarfile
info = tarfile.TarInfo('nullen.bin')
info.size = 4 * 1024 ** 3
info.mode = 0o644
info.mtime = 1700000000
chunk = 64 * 1024 ** 2
zeros = bz2.compress(bytes(chunk), 9)
with open(sys.argv[1] + '/nullen.tar.bz2', 'wb') as f:
    f.write(bz2.compress(info.tobuf(format=tarfile.GNU_FORMAT)))
    for _ in range(info.size // chunk):
        f.write(zeros)
    f.write(bz2.compress(bytes(10240)))
