#!/usr/bin/env bash
# Builds zorbix in release mode and starts the desktop application.
# Extra arguments go to the application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORBIX_TESTS=OFF >/dev/null
cmake --build build/release
exec build/release/src/app/zorbix "$@"
