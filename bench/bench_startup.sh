#!/bin/sh
# The desktop's start with a store of N persons (default 10000): the time from the exec of
# `zorbix` to the first paint of its main window and to the address book being ready, the worst
# event-loop stall meanwhile, and the process's CPU time and peak memory. Offscreen, and under
# Xvfb too when it is installed. Best of RUNS (default 5) by first paint.
#
#   bench/bench_startup.sh ZORBIX [PERSONS] [RUNS]
set -eu
app=$1
n=${2:-10000}
runs=${3:-5}
dir=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$dir"' EXIT
xvfb=
python3 "$(dirname "$0")/make_store.py" "$dir/book" "$n"
# The store cache keeps cards whose last change lies some seconds back: every start after the
# first opens the store from it, as a user's starts do.
sleep 3.5
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache"
export ZORBIX_ADDRESSBOOK="$dir/book"
# The time is taken just before the exec, so that the figure holds the whole start.
start() {
    /usr/bin/time -f "%e %U %S %M" -o "$dir/time" python3 -c \
        'import os, sys, time; os.environ["ZORBIX_STARTUP_REPORT"] = str(time.time_ns()); os.execv(sys.argv[1], sys.argv[1:])' \
        "$app" > /dev/null 2> "$dir/err"
    paint=$(sed -n 's/^startup: first paint of the main window after \([0-9]*\) ms/\1/p' "$dir/err")
    ready=$(sed -n 's/^startup: address book ready after \([0-9]*\) ms/\1/p' "$dir/err")
    stall=$(sed -n 's/^startup: .* stall \([0-9]*\) ms/\1/p' "$dir/err")
    echo "$paint ms to first paint, $ready ms to the store, worst stall $stall ms," \
         "$(awk '{printf "%.0f ms CPU, %.0f MB peak", ($2 + $3) * 1000, $4 / 1024}' "$dir/time")"
}
platform() { # label
    echo "$1 ($n persons), load average $(cut -d' ' -f1-3 /proc/loadavg):"
    for i in $(seq "$runs"); do start; done | sort -n | sed 's/^/  /'
}
QT_QPA_PLATFORM=offscreen platform offscreen
if command -v Xvfb > /dev/null; then
    Xvfb :97 -nolisten tcp > /dev/null 2>&1 &
    xvfb=$!
    sleep 1
    DISPLAY=:97 QT_QPA_PLATFORM=xcb platform Xvfb
fi
