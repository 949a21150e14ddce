#!/usr/bin/env bash
# Builds the Debian package (release build, cpack -G DEB) and tries it as a user meets it: in a
# clean Debian 12 root made by debootstrap (a chroot, using this machine's apt sources), installs
# it with apt-get (recommended packages included), runs both programs there (the application
# offscreen), and removes it again, checking that none of its files is left.
# Needs root and the network to the Debian mirror; takes several minutes. Not part of the tests.
# Usage: scripts/package-check.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if [ "$(id -u)" -ne 0 ]; then
    echo "package-check: needs root (debootstrap, chroot)" >&2
    exit 77
fi
scripts/deps.sh run
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap

build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORBIX_TESTS=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/zorbix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/zorbix_*.deb)
echo "== package $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends Suggests Installed-Size

# The Debian archive this machine installs from (and its suite), for the new root.
sources=/etc/apt/sources.list.d/debian.sources
mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ {print $2; exit}' "$sources" 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list)
[ -n "$mirror" ] || { echo "package-check: no Debian mirror in this machine's apt sources" >&2; exit 1; }

root=$(mktemp -d /var/tmp/zorbix-root.XXXXXX)
chmod 755 "$root" # apt fetches as the unprivileged _apt user
cleanup() {
    local rc=$?
    if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
    if mountpoint -q "$root/proc"; then
        echo "package-check: $root/proc still mounted; leaving $root" >&2
    else
        rm -rf --one-file-system "$root"
    fi
    exit $rc
}
trap cleanup EXIT

echo "== debootstrap bookworm (minbase) into $root"
start=$(date +%s)
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
rm -f "$root.log"
echo "   took $(( $(date +%s) - start )) s"
cp /etc/resolv.conf "$root/etc/resolv.conf"
[ -f "$sources" ] && cp "$sources" "$root/etc/apt/sources.list.d/" && rm -f "$root/etc/apt/sources.list"
# Packages installed in the root must not start services (avahi-daemon would run in this
# machine's own network namespace).
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "== apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq
start=$(date +%s)
in_root sh -c "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./$(basename "$deb")" >/dev/null
echo "   took $(( $(date +%s) - start )) s; $(in_root dpkg-query -W -f '${binary:Package}\n' | wc -l) packages in the root"
in_root dpkg -L zorbix | sort >"$build/package-files.txt"

echo "== run"
in_root zorbix-cli --version
in_root zorbix --version
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nN:Tester;Pat;;;\r\nFN:Pat Tester\r\nEND:VCARD\r\n' >"$root/tmp/pat.vcf"
in_root zorbix-cli import --addressbook /tmp/ab /tmp/pat.vcf
in_root zorbix-cli list --addressbook /tmp/ab | grep -q "Pat Tester"
# The application offscreen, importing a file named on its command line, then asked to quit.
in_root sh -c 'mkdir -p /tmp/run && chmod 700 /tmp/run
    export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/run ZORBIX_ADDRESSBOOK=/tmp/ab2
    zorbix /tmp/pat.vcf & pid=$!
    for i in $(seq 1 50); do ls /tmp/ab2/*.vcf >/dev/null 2>&1 && break; sleep 0.2; done
    kill -0 $pid || { echo "zorbix did not stay up"; exit 1; }
    kill -TERM $pid; wait $pid; rc=$?
    ls /tmp/ab2/*.vcf >/dev/null || { echo "zorbix did not import its file argument"; exit 1; }
    echo "zorbix ran offscreen, imported its file argument and quit with status $rc"; exit $rc'

echo "== apt-get purge zorbix"
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zorbix' >/dev/null
if in_root dpkg-query -W zorbix >/dev/null 2>&1; then echo "package-check: zorbix still registered" >&2; exit 1; fi
left=0
while read -r f; do
    if [ -f "$root$f" ] || [ -L "$root$f" ]; then echo "left behind: $f"; left=1; fi
done <"$build/package-files.txt"
[ $left -eq 0 ] || exit 1
echo "removed; none of its $(wc -l <"$build/package-files.txt") paths is left"
echo "package-check: OK"
