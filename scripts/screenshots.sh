#!/usr/bin/env bash
# Renders the browse window after a download into docs/images/browse-window.png, without a
# display (Qt's offscreen platform). Settings go to a temporary folder, never the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORBIX_TESTS=OFF -DZORBIX_TOOLS=ON >/dev/null
cmake --build build/release --target screenshot_browser
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p docs/images
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen build/release/tools/screenshot_browser docs/images/browse-window.png
echo "wrote docs/images/browse-window.png"
