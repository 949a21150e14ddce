#!/bin/sh
# zorbix-cli from outside, as a user runs it: a store of N persons (default 10000, all in one
# group "All"), then the wall and CPU time and peak memory of `--version` and `list` of an empty
# store (the start alone), of `list` (and of `khard list` on the
# same store, when khard is installed and N is at most 20000, or KHARD=1), `list --json`, and of
# `fetch` against `serve` on a loopback port: the first download after the start, five more, then
# the first download after one card was edited in place and after one was added, and a second
# after another edit (when the server has made the new list already). `list` and
# `list --json` run first with no store cache (the first open of a store), then again once
# `list --json` has written it (every later open).
#
#   bench/bench_cli.sh ZORBIX_CLI [PERSONS]
set -eu
cli=$1
n=${2:-10000}
dir=$(mktemp -d)
trap 'kill $serve 2>/dev/null || true; rm -rf "$dir"' EXIT
python3 "$(dirname "$0")/make_store.py" "$dir/book" "$n"
measure() { # label, command...
    label=$1; shift
    /usr/bin/time -f "%e %U %S %M" -o "$dir/time" "$@" > /dev/null
    echo "$label: $(awk '{printf "%.3f s wall, %.0f ms CPU, %.0f MB peak", $1, ($2 + $3) * 1000, $4 / 1024}' "$dir/time")"
}
export XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache"
# The store's cache keeps only cards whose last change lies some seconds back.
sleep 3.5
# The start of the process alone: the libraries it loads.
mkdir "$dir/empty"
measure "--version" "$cli" --version
measure "list (empty store)" "$cli" list --addressbook "$dir/empty"
measure "list ($n)" "$cli" list --addressbook "$dir/book"
if command -v khard > /dev/null && { [ "$n" -le 20000 ] || [ "${KHARD:-0}" = 1 ]; }; then
    printf '[addressbooks]\n[[bench]]\npath = %s\n[general]\neditor = /bin/true\nmerge_editor = /bin/true\n' \
        "$dir/book" > "$dir/khard.conf"
    measure "khard list ($n)" khard -c "$dir/khard.conf" list
fi
measure "list --json ($n)" "$cli" list --json --addressbook "$dir/book"
measure "list ($n), from the store cache" "$cli" list --addressbook "$dir/book"
measure "list --json ($n), from the store cache" "$cli" list --json --addressbook "$dir/book"
"$cli" serve --addressbook "$dir/book" --group All --port 0 --no-announce > "$dir/serve.out" &
serve=$!
while ! grep -q "on port" "$dir/serve.out" 2>/dev/null; do sleep 0.1; done
port=$(sed -n 's/.*on port \([0-9]*\).*/\1/p' "$dir/serve.out")
cpu() { awk '{print ($14 + $15) * 10}' /proc/$serve/stat; } # milliseconds of the server
before=$(cpu)
measure "fetch ($n), first download" "$cli" fetch "127.0.0.1:$port"
echo "  server CPU: $(( $(cpu) - before )) ms"
for i in 1 2 3 4 5; do
    before=$(cpu)
    measure "fetch ($n)" "$cli" fetch "127.0.0.1:$port"
    echo "  server CPU: $(( $(cpu) - before )) ms"
done
# Another program edits a card in place, then adds one; each time the next download takes it in.
sleep 0.5
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p1\r\nN:Edited;Firstname1;;;\r\nEND:VCARD\r\n' > "$dir/book/p1.vcf"
before=$(cpu)
measure "fetch ($n), first download after a card was edited" "$cli" fetch "127.0.0.1:$port"
echo "  server CPU: $(( $(cpu) - before )) ms"
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:new\r\nN:Added;Ann;;;\r\nEND:VCARD\r\n' > "$dir/book/new.vcf"
before=$(cpu)
measure "fetch ($n), first download after a card was added" "$cli" fetch "127.0.0.1:$port"
echo "  server CPU: $(( $(cpu) - before )) ms"
# The same a second after the change: the server has taken it in and made the list meanwhile.
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p1\r\nN:Edited again;Firstname1;;;\r\nEND:VCARD\r\n' > "$dir/book/p1.vcf"
sleep 1
before=$(cpu)
measure "fetch ($n), a second after a card was edited" "$cli" fetch "127.0.0.1:$port"
echo "  server CPU: $(( $(cpu) - before )) ms"
