# Deflate64 (method 9), as Windows' compressed folders write it for large files; 7-Zip makes it here.
set -euo pipefail
mkdir -p quelle/Belege
for i in $(seq 1 3000); do echo "Beleg $i: Betrag $((i * 37 % 1000)),00 EUR, Konto $((i % 17))"; done > quelle/Belege/journal.txt
head -c 200000 /dev/zero | tr '\0' 'x' > quelle/Belege/wiederholt.txt
(cd quelle && 7zz a -bso0 -bsp0 -tzip -mm=Deflate64 ../d64.zip Belege >/dev/null)
