# The old Info-ZIP Unix field (0x5855) carries the exact time; the DOS fields hold the local time
# of the machine that packed (two hours ahead of UTC here). The extended timestamp and the NTFS
# times go before it.
import sys
from zipcraft import *

noon = utc(2021, 6, 1, 12, 0, 0)
write(sys.argv[1] + "/zeiten.zip", [
    Entry(b"mac.txt", b"mac", when=(2021, 6, 1, 14, 0, 0), extra=infozip_unix(noon)),
    Entry(b"beide.txt", b"beide", when=(2021, 6, 1, 14, 0, 0),
          extra=infozip_unix(noon) + extended_timestamp(utc(2021, 6, 1, 9, 30, 0))),
    Entry(b"dos.txt", b"dos", when=(2021, 6, 1, 14, 0, 0)),
])
