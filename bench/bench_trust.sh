#!/bin/sh
# The cost of a protected share: whole `zorbix-cli fetch` processes against `serve` on loopback,
# a store of N persons (default 10000) in one group, open and protected (TLS, an approved
# device), RUNS times each (default 9) in turn; prints the median wall time and CPU time of each
# and the differences (CPU time is the steadier figure on a loaded machine).
#
#   bench/bench_trust.sh ZORBIX_CLI [PERSONS] [RUNS]
set -eu
cli=$1
n=${2:-10000}
runs=${3:-9}
dir=$(mktemp -d)
trap 'kill $open $protected 2>/dev/null || true; rm -rf "$dir"' EXIT
python3 - "$dir/book" "$n" <<'PY'
import os, sys
book, n = sys.argv[1], int(sys.argv[2])
os.makedirs(book)
with open(f"{book}/all.vcf", "w", newline="") as g:
    g.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:all\r\nFN:All\r\nN:All;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n")
    for i in range(n):
        with open(f"{book}/p{i}.vcf", "w", newline="") as f:
            f.write(f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p{i}\r\nN:Lastname{i};Firstname{i};;;\r\n"
                    f"FN:Firstname{i} Lastname{i}\r\nORG:Company {i} GmbH;Sales\r\n"
                    f"EMAIL;TYPE=work:first.last{i}@company.example\r\nTEL;TYPE=cell:+43 660 12 34{i}\r\n"
                    f"ADR;TYPE=work:;;Hauptstraße {i};Graz;;8010;Austria\r\nEND:VCARD\r\n")
        g.write(f"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p{i}\r\n")
    g.write("END:VCARD\r\n")
PY
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache"
fingerprint=$("$cli" identity | sed -n 's/^Fingerprint: //p')
start() { # output file, options...
    out=$1; shift
    XDG_DATA_HOME="$dir/share" "$cli" serve --addressbook "$dir/book" --group All --port 0 --no-announce "$@" > "$out" 2>/dev/null &
    while ! grep -q "on port" "$out" 2>/dev/null; do sleep 0.1; done
}
start "$dir/open.out"; open=$!
start "$dir/protected.out" --protected --allow "$fingerprint"; protected=$!
open_port=$(sed -n 's/.*on port \([0-9]*\).*/\1/p' "$dir/open.out")
protected_port=$(sed -n 's/.*on port \([0-9]*\).*/\1/p' "$dir/protected.out")
ms() { echo $(($(date +%s%N) / 1000000)); }
# Wall milliseconds of a whole fetch process to $2, its CPU milliseconds (user + system) to $3.
run() { # target options, wall file, cpu file
    t=$(ms)
    /usr/bin/time -f "%U %S" -o "$dir/cpu" "$cli" fetch $1 > /dev/null 2>&1
    echo $(( $(ms) - t )) >> "$2"
    awk '{printf "%d\n", ($1 + $2) * 1000}' "$dir/cpu" >> "$3"
}
# Warm both (the first answer builds the record list).
"$cli" fetch "127.0.0.1:$open_port" > /dev/null
"$cli" fetch "127.0.0.1:$protected_port" --tls > /dev/null 2>&1
: > "$dir/open.ms"; : > "$dir/protected.ms"; : > "$dir/open.cpu"; : > "$dir/protected.cpu"
i=0
while [ $i -lt "$runs" ]; do
    run "127.0.0.1:$open_port" "$dir/open.ms" "$dir/open.cpu"
    run "127.0.0.1:$protected_port --tls" "$dir/protected.ms" "$dir/protected.cpu"
    i=$((i + 1))
done
median() { sort -n "$1" | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
o=$(median "$dir/open.ms"); p=$(median "$dir/protected.ms")
echo "open fetch ($n persons): median $o ms of $runs"
echo "protected fetch ($n persons): median $p ms of $runs"
echo "added by TLS: $(awk -v p="$p" -v o="$o" 'BEGIN {print p - o}') ms"
oc=$(median "$dir/open.cpu"); pc=$(median "$dir/protected.cpu")
echo "fetch CPU time (user + system), median: open $oc ms, protected $pc ms, added $(awk -v p="$pc" -v o="$oc" 'BEGIN {print p - o}') ms"
