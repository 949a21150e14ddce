#!/bin/sh
# Saves that never destroy, checked from outside as a user runs zorbix-cli:
#  1. full disk (a 2 MB tmpfs in a private mount namespace): import, fetch --update and a CSV
#     export fail with a message and a non-zero exit, and every old file stays as it was;
#  2. a file-size limit (ulimit -f): the same, and no silent death by SIGXFSZ;
#  3. another program rewriting cards (temporary file and rename) during fetch --update of 3,000
#     persons: none of its edits is lost;
#  4. kill -9 at random moments during fetch --update of 5,000 incoming into 5,000 local persons,
#     TRIES times (default 50): every card old or new, never cut, empty or gone.
# Part 1 is skipped (and said so) where a mount namespace cannot be made.
#
#   scripts/durability.sh ZORBIX_CLI [TRIES]
# A release build of zorbix-cli keeps part 4 short (a sanitizer build takes ~45 s per update).
set -eu
cli=$(realpath "$1")
tries=${2:-50}
dir=$(mktemp -d)
serve=
trap 'test -n "$serve" && kill $serve 2>/dev/null; rm -rf "$dir"' EXIT
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# makebook DIR N [MAIL]: N persons First<i> Last<i>, each with MAIL<i>@example.org when given.
makebook() {
    python3 - "$@" <<'PY'
import os, sys
book, n = sys.argv[1], int(sys.argv[2])
mail = sys.argv[3] if len(sys.argv) > 3 else None
os.makedirs(book, exist_ok=True)
for i in range(n):
    with open(f"{book}/p{i}.vcf", "w", newline="") as f:
        f.write(f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p{i}\r\nN:Last{i};First{i};;;\r\nFN:First{i} Last{i}\r\n"
                f"ORG:Company {i}\r\nNOTE:{'kept ' * 40}\r\n"
                + (f"EMAIL;TYPE=work:{mail}{i}@example.org\r\n" if mail else "") + "END:VCARD\r\n")
if mail:  # a share: everyone in the shared group "All"
    with open(f"{book}/all.vcf", "w", newline="") as f:
        f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:all\r\nFN:All\r\nN:All;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
                + "".join(f"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p{i}\r\n" for i in range(n)) + "END:VCARD\r\n")
PY
}
. "$(dirname "$0")/serving.sh"
snapshot() { (cd "$1" && find . -maxdepth 1 -name '*.vcf' -type f -exec sha1sum {} + | sort); }
# expect_failure LABEL BEFORE AFTER STATUS OUTPUT: the command failed, said why, changed nothing.
expect_failure() {
    if [ "$4" -eq 0 ]; then fail "$1: exit 0"; fi
    if ! grep -qi "$6" "$5"; then fail "$1: no message ($(tail -c 300 "$5"))"; fi
    if ! cmp -s "$2" "$3"; then fail "$1: old files changed"; fi
    echo "$1: exit $4, old files intact: $(grep -i -m1 "$6" "$5" | cut -c1-120)"
}

makebook "$dir/share" 400 shared
serving "$dir/share"

# 1. Full disk.
if unshare -m true 2>/dev/null; then
    mkdir -p "$dir/full"
    makebook "$dir/import" 400 imported
    cat "$dir/import"/*.vcf > "$dir/import.vcf"
    unshare -m sh -s "$cli" "$dir" "$port" <<'SH' || fail "full disk: $(cat "$dir/full.out")"
set -u
cli=$1 dir=$2 port=$3
mount -t tmpfs -o size=2m durability "$dir/full" || exit 77
python3 - "$dir/full/book" 300 <<'PY'
import os, sys
book, n = sys.argv[1], int(sys.argv[2])
os.makedirs(book)
for i in range(n):
    open(f"{book}/p{i}.vcf", "w", newline="").write(
        f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p{i}\r\nN:Last{i};First{i};;;\r\nFN:First{i} Last{i}\r\nEND:VCARD\r\n")
PY
echo "old export" > "$dir/full/export.csv"
dd if=/dev/zero of="$dir/full/filler" bs=4k 2>/dev/null
dd if=/dev/zero of="$dir/full/filler2" bs=1 2>/dev/null
(cd "$dir/full/book" && sha1sum *.vcf) > "$dir/full.before"
sha1sum "$dir/full/export.csv" >> "$dir/full.before"
run() { "$@" > "$dir/full.cmd" 2>&1; echo $?; }
s=$(run "$cli" import --addressbook "$dir/full/book" "$dir/import.vcf"); echo "import $s" >> "$dir/full.status"
cp "$dir/full.cmd" "$dir/full.import"
s=$(run "$cli" fetch "127.0.0.1:$port" --update --addressbook "$dir/full/book"); echo "update $s" >> "$dir/full.status"
cp "$dir/full.cmd" "$dir/full.update"
s=$(run "$cli" fetch "127.0.0.1:$port" --csv "$dir/full/export.csv"); echo "csv $s" >> "$dir/full.status"
cp "$dir/full.cmd" "$dir/full.csv"
(cd "$dir/full/book" && sha1sum *.vcf) > "$dir/full.after"
sha1sum "$dir/full/export.csv" >> "$dir/full.after"
ls -a "$dir/full" "$dir/full/book" | grep -c 'tmp$' > "$dir/full.leftover" || true
SH
    if [ -f "$dir/full.status" ]; then
        for what in import update csv; do
            expect_failure "full disk, $what" "$dir/full.before" "$dir/full.after" \
                "$(sed -n "s/^$what //p" "$dir/full.status")" "$dir/full.$what" "space"
        done
        [ "$(cat "$dir/full.leftover")" = 0 ] || fail "full disk: temporary files left"
    else
        echo "full disk: SKIPPED (no tmpfs in a private mount namespace here)"
    fi
else
    echo "full disk: SKIPPED (unshare -m is not allowed here)"
fi

# 2. File-size limit: 8 blocks of 512 bytes; every card and the export above that fails.
makebook "$dir/limit" 50
python3 - "$dir/limit" <<'PY'
import sys
for i in range(50):  # cards that grow past the limit when the long shared mail is added
    p = f"{sys.argv[1]}/p{i}.vcf"
    s = open(p, newline="").read().replace("NOTE:", "NOTE:" + "x" * 3900)
    open(p, "w", newline="").write(s)
PY
echo "old export" > "$dir/limit-export.csv"
snapshot "$dir/limit" > "$dir/limit.before"; sha1sum "$dir/limit-export.csv" >> "$dir/limit.before"
status=0; (ulimit -f 8; exec "$cli" fetch "127.0.0.1:$port" --update --no-add --addressbook "$dir/limit") > "$dir/limit.update" 2>&1 || status=$?
snapshot "$dir/limit" > "$dir/limit.after"; sha1sum "$dir/limit-export.csv" >> "$dir/limit.after"
expect_failure "ulimit -f, update" "$dir/limit.before" "$dir/limit.after" $status "$dir/limit.update" "too large"
status=0; (ulimit -f 8; exec "$cli" fetch "127.0.0.1:$port" --csv "$dir/limit-export.csv") > "$dir/limit.csv" 2>&1 || status=$?
snapshot "$dir/limit" > "$dir/limit.after"; sha1sum "$dir/limit-export.csv" >> "$dir/limit.after"
expect_failure "ulimit -f, csv" "$dir/limit.before" "$dir/limit.after" $status "$dir/limit.csv" "too large"

# 3. Another program rewrites cards while fetch --update of 3,000 persons saves.
rm -rf "$dir/share"; makebook "$dir/share" 3000 shared; serving "$dir/share"
makebook "$dir/busy" 3000
python3 - "$dir/busy" "$cli" "$port" <<'PY' || fail "another writer lost edits"
import os, random, subprocess, sys, time
book, cli, port = sys.argv[1:]
log = open(f"{book}.log", "w+")
fetch = subprocess.Popen([cli, "fetch", f"127.0.0.1:{port}", "--update", "--addressbook", book],
                         stdout=subprocess.DEVNULL, stderr=log)
edits, ours = {}, 0
while fetch.poll() is None:  # like khard: read, change, write a temporary file, rename
    i = random.randrange(3000)
    path = f"{book}/p{i}.vcf"
    text = open(path, newline="").read()
    ours += 1
    text = text.replace("END:VCARD", f"X-OTHER-EDIT:{ours}\r\nEND:VCARD") if "X-OTHER-EDIT" not in text \
        else text.split("X-OTHER-EDIT:")[0] + f"X-OTHER-EDIT:{ours}\r\nEND:VCARD\r\n"
    open(path + ".other.tmp", "w", newline="").write(text)
    os.rename(path + ".other.tmp", path)
    edits[i] = ours
    time.sleep(0.002)
log.seek(0)
err = log.read()
lost = [i for i, n in edits.items() if f"X-OTHER-EDIT:{n}\r\n" not in open(f"{book}/p{i}.vcf", newline="").read()]
merged = sum("shared" in open(f"{book}/p{i}.vcf", newline="").read() for i in range(3000))
print(f"another writer: {len(edits)} cards edited during the update, {len(lost)} edits lost, "
      f"{merged} of 3000 cards with the shared mail, exit {fetch.returncode}")
if err.strip():
    print("  " + err.strip().splitlines()[-1][:200])
sys.exit(1 if lost else 0)
PY

# 4. kill -9 at random moments during fetch --update: 5,000 incoming into 5,000 local persons.
rm -rf "$dir/share"; makebook "$dir/share" 5000 shared; serving "$dir/share"
rm -rf "$dir/kill"; makebook "$dir/kill" 5000
python3 - "$dir/kill" "$cli" "$port" "$tries" <<'PY' || fail "a kill left a card cut, empty or gone"
import glob, os, random, signal, subprocess, sys, time
book, cli, port, tries = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
old = {p: open(p, "rb").read() for p in glob.glob(f"{book}/*.vcf")}
bad, killed_writing, finished = 0, 0, 0
# One whole run first: the kills then fall anywhere within that time, the save included.
start = time.monotonic()
subprocess.run([cli, "fetch", f"127.0.0.1:{port}", "--update", "--addressbook", book],
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
whole = time.monotonic() - start
for p, before in old.items():
    open(p, "wb").write(before)
print(f"kill -9: a whole update takes {whole:.1f} s", flush=True)
for attempt in range(tries):
    fetch = subprocess.Popen([cli, "fetch", f"127.0.0.1:{port}", "--update", "--addressbook", book],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(random.uniform(0.3, whole))
    if fetch.poll() is None:
        killed_writing += 1
        fetch.send_signal(signal.SIGKILL)
    else:
        finished += 1
    fetch.wait()
    for p, before in old.items():
        try:
            now = open(p, "rb").read()
        except FileNotFoundError:
            bad += 1; print(f"  try {attempt}: {p} gone"); continue
        if now != before and not (now.startswith(b"BEGIN:VCARD") and now.endswith(b"END:VCARD\r\n")
                                  and b"shared" in now):
            bad += 1; print(f"  try {attempt}: {p} cut or empty ({len(now)} bytes)")
    # back to the old cards, so that every try has something to write
    for p, before in old.items():
        open(p, "wb").write(before)
    listed = subprocess.run([cli, "list", "--addressbook", book], capture_output=True, text=True)
    if listed.returncode != 0:
        bad += 1; print(f"  try {attempt}: the store does not read: {listed.stderr[:200]}")
    print(f"  try {attempt + 1}: {bad} bad so far", flush=True)
print(f"kill -9: {tries} tries ({killed_writing} killed while running, {finished} had finished), "
      f"{bad} cards cut, empty or gone")
sys.exit(1 if bad else 0)
PY

[ $failures -eq 0 ] && echo "all held" || { echo "$failures failed"; exit 1; }
