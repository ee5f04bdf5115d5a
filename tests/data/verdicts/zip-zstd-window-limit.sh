# A Zstandard entry whose frame asks for a 1 GiB window: beyond what a decoder may take by
# default (a limit, not damage); with the limits lifted it reads.
set -euo pipefail
printf 'Zeile %s\n' $(seq 1 2000) > a.txt
zstd -q -f --long=30 -o a.zst - < a.txt
python3 - "$PWD" <<'PY'
import sys, zlib
from zipcraft import *
data = open("a.txt", "rb").read()
packed = open("a.zst", "rb").read()
write(sys.argv[1] + "/fenster.zip", [Entry(b"a.txt", data, method=93, compressed=packed)])
PY
