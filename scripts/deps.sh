#!/usr/bin/env bash
# Installs the Debian packages that zorbix needs to build, run and test, and only those missing.
# Usage: scripts/deps.sh [run|test]   (test adds what the test suite needs)
set -euo pipefail

run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
              qt6-gtk-platformtheme fonts-dejavu-core libcurl4-openssl-dev qtkeychain-qt6-dev libavahi-client-dev libssl-dev
              avahi-daemon avahi-utils librsvg2-bin libgoogle-perftools-dev
              qt6-tools-dev qt6-l10n-tools qt6-translations-l10n)
test_packages=(dbus-daemon iproute2 khard clang libclang-rt-14-dev procps desktop-file-utils appstream
               radicale vdirsyncer libreoffice-calc-nogui)

wanted=("${run_packages[@]}")
if [ "${1:-run}" = test ]; then
    wanted+=("${test_packages[@]}")
fi

missing=()
for p in "${wanted[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "zorbix: installing missing packages: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Installing avahi-daemon must not start it in this machine's own network namespace: the tests
# run their own daemon in a private one. A policy-rc.d that denies service starts does that.
made_policy=
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee /usr/sbin/policy-rc.d >/dev/null
    "${sudo[@]}" chmod 755 /usr/sbin/policy-rc.d
    made_policy=1
fi
cleanup() { [ -z "$made_policy" ] || "${sudo[@]}" rm -f /usr/sbin/policy-rc.d; }
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
