#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a desktop finds there: both programs,
# the launcher entry (valid, taking vCard files), the software-centre data (valid, naming that
# entry), the icon as drawing and in each bitmap size, and the manual pages.
# Usage: installcheck.sh BUILD_DIR. Exits 77 (skipped) where the validators are missing.
set -euo pipefail
build=$1
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (scripts/deps.sh test installs desktop-file-utils and appstream)"
        exit 77
    fi
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" >/dev/null

id=org.quenfold.zorbix
usr=$root/usr
fail() { echo "FAIL: $*"; exit 1; }
files=(bin/zorbix bin/zorbix-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml share/dbus-1/services/$id.service
       share/icons/hicolor/scalable/apps/$id.svg share/man/man1/zorbix.1.gz share/man/man1/zorbix-cli.1.gz)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do files+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done
for f in "${files[@]}"; do
    [ -s "$usr/$f" ] || fail "not installed: $f"
done
for size in "${sizes[@]}"; do
    # Width and height are the first two words of the PNG header chunk, big-endian.
    read -r -a b < <(od -An -tu1 -j16 -N8 "$usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
    w=$(( (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3] ))
    h=$(( (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7] ))
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "${size}x${size} icon is ${w}x${h}"
done
for page in zorbix zorbix-cli; do
    gzip -dc "$usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1" || fail "manual page $page"
done

desktop=$usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
# The tree as a software centre reads it: metainfo and launcher entry together.
appstreamcli validate-tree --no-net "$root" >/dev/null || fail "appstreamcli validate-tree"
grep -qx 'MimeType=text/vcard;text/x-vcard;' "$desktop" || fail "the launcher does not take vCard files"
grep -qx 'Exec=zorbix %F' "$desktop" || fail "the launcher does not pass the files"
grep -qx "Icon=$id" "$desktop" || fail "the launcher names another icon"
# D-Bus activation starts the installed program under the launcher's name.
grep -qx 'DBusActivatable=true' "$desktop" || fail "the launcher is not D-Bus activatable"
service=$usr/share/dbus-1/services/$id.service
grep -qx "Name=$id" "$service" && grep -q "^Exec=/.*/bin/zorbix$" "$service" || fail "D-Bus service file"
echo "installed and valid: ${#files[@]} files"
