# A wrong password that passes the one-byte check of a deflated entry (one in 256 do): the data
# then does not inflate. That is a probably wrong password, not a damaged archive.
import sys
from zipcraft import *

entry = zipcrypto_entry(b"geheim.txt", b"vertraulich " * 40, b"geheim")
assert passes_check(entry, b"falsch154")
write(sys.argv[1] + "/zc.zip", [entry])
