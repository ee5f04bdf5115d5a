# Traditional encryption, deflated and stored, read with the right password.
import sys
from zipcraft import *

write(sys.argv[1] + "/zc.zip", [
    zipcrypto_entry(b"gepackt.txt", b"vertraulich " * 40, b"geheim"),
    zipcrypto_entry(b"roh.txt", b"offen", b"geheim", method=0),
])
