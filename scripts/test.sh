#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer, UndefinedBehaviorSanitizer, warnings as errors)
# and runs every test through CTest. Starts what the tests need (a system D-Bus if none runs,
# avahi-daemon in a private network namespace) and stops it again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORBIX_SANITIZE=ON -DZORBIX_WERROR=ON \
      -DZORBIX_TESTS=ON >/dev/null
cmake --build build/test

env_started=
if [ -x scripts/testenv.sh ]; then
    scripts/testenv.sh start && env_started=1 || echo "zorbix: network namespace not available; its tests will be skipped"
fi
stop_env() { [ -z "$env_started" ] || scripts/testenv.sh stop; }
trap stop_env EXIT

cd build/test
ctest --output-on-failure --timeout 600 -j2 "$@"
