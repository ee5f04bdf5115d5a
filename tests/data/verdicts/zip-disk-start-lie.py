# An archive of one part (its end record says so) whose entries claim to start on another
# disk; unzip reads them, and so must we, without looking for a .z01.
import sys
from zipcraft import *

write(sys.argv[1] + "/eins.zip", [Entry(b"a.txt", b"eins", disk=1), Entry(b"b.txt", b"zwei", disk=7)])
# (7-Zip lists each entry twice here and reports a header error; unzip is the model.)
