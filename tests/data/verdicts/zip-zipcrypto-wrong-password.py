# Traditional encryption with a password that fails the one-byte check.
import sys
from zipcraft import *

entry = zipcrypto_entry(b"geheim.txt", b"vertraulich " * 40, b"geheim")
assert not passes_check(entry, b"falsch")
write(sys.argv[1] + "/zc.zip", [entry])
