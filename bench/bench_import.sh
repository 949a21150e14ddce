#!/bin/sh
# Importing into an empty store, from outside as a user runs zorbix-cli (use a release build):
#  - `fetch --import` of a share of N persons (default 10000) from `serve` on a loopback port;
#  - `import FILE.vcf` of a file of the same N cards;
#  - `fetch --import` of a share of BIG persons (default 200000; 0 leaves it out).
# Each prints wall time, CPU time (user+sys, all threads) and peak RSS, and checks the count.
#
#   bench/bench_import.sh ZORBIX_CLI [N] [BIG]
set -eu
cli=$(realpath "$1")
n=${2:-10000}
big=${3:-200000}
dir=$(mktemp -d)
serve=
trap 'test -n "$serve" && kill $serve 2>/dev/null; rm -rf "$dir"' EXIT
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache"

# makebook DIR N: N persons of 14 properties, all in the group "All"; also DIR.vcf with the cards.
makebook() {
    python3 - "$1" "$2" <<'PY'
import os, sys
book, n = sys.argv[1], int(sys.argv[2])
os.makedirs(book)
with open(f"{book}.vcf", "w", newline="") as whole:
    for i in range(n):
        card = (f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p{i}\r\nN:Lastname{i};Firstname{i};;;\r\n"
                f"FN:Firstname{i} Lastname{i}\r\nORG:Company {i} GmbH;Sales\r\nTITLE:Account manager\r\n"
                f"EMAIL;TYPE=work:first.last{i}@company.example\r\nEMAIL;TYPE=home:someone{i}@mail.example\r\n"
                f"TEL;TYPE=work:+43 1 234 56{i}\r\nTEL;TYPE=cell:+43 660 12 34{i}\r\n"
                f"ADR;TYPE=work:;;Hauptstraße {i};Graz;;8010;Austria\r\nBDAY:1980-02-1{i % 10}\r\n"
                f"NOTE:met at the fair in spring\r\nEND:VCARD\r\n")
        whole.write(card)
        with open(f"{book}/p{i}.vcf", "w", newline="") as f:
            f.write(card)
with open(f"{book}/all.vcf", "w", newline="") as f:
    f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:all\r\nFN:All\r\nN:All;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
            + "".join(f"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p{i}\r\n" for i in range(n)) + "END:VCARD\r\n")
PY
}
. "$(dirname "$0")/../scripts/serving.sh"
# measure LABEL TARGET COUNT command...: runs into the new store TARGET, checks COUNT cards. Nothing
# is deleted before a measurement: ext4 without a journal passes over inodes freed in the last
# minutes when it makes files, which would slow the next one down.
measure() {
    label=$1 target=$2 count=$3
    shift 3
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$dir/time" "$@" > "$dir/out" 2>&1 || { cat "$dir/out"; exit 1; }
    got=$(find "$target" -maxdepth 1 -name '*.vcf' | wc -l)
    test "$got" -eq "$count" || { echo "$label: $got cards instead of $count"; exit 1; }
    echo "$label: $(awk '{printf "%.2f s wall, %.2f s CPU, %.0f MB peak", $1, $2 + $3, $4 / 1024}' "$dir/time")"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
makebook "$dir/book" "$n"
serving "$dir/book"
measure "fetch --import ($n)" "$dir/to" "$n" "$cli" fetch "127.0.0.1:$port" --import --addressbook "$dir/to"
measure "import FILE.vcf ($n)" "$dir/to2" "$n" "$cli" import --addressbook "$dir/to2" "$dir/book.vcf"
if [ "$big" -gt 0 ]; then
    makebook "$dir/big" "$big"
    rm "$dir/big.vcf"
    serving "$dir/big"
    measure "fetch --import ($big)" "$dir/to3" "$big" "$cli" fetch "127.0.0.1:$port" --import --addressbook "$dir/to3"
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
