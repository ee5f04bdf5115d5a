# An encrypted entry checked without a password: the check says so, it does not call the
# archive damaged.
import sys
from zipcraft import *

write(sys.argv[1] + "/zc.zip", [zipcrypto_entry(b"geheim.txt", b"vertraulich", b"geheim"), Entry(b"offen.txt", b"offen")])
