#!/usr/bin/env bash
# Renders the README's pictures into docs/images/ without a display (Qt's offscreen platform):
# main-window.png, browse-window.png (after a download) and export-window.png. The address book
# and settings go to temporary folders, never the user's, and DNS-SD stays inside the program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORBIX_TESTS=OFF -DZORBIX_TOOLS=ON >/dev/null
cmake --build build/release --target screenshot_windows
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p docs/images
mkdir -m 700 "$home/run"
LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" \
    QT_QPA_PLATFORM=offscreen build/release/tools/screenshot_windows docs/images
