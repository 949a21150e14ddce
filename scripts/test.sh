#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer, UndefinedBehaviorSanitizer, warnings as errors)
# and runs every test through CTest. Starts what the tests need (a system D-Bus if none runs,
# avahi-daemon in a private network namespace) and stops it again.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/deps.sh test
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORBIX_SANITIZE=ON -DZORBIX_WERROR=ON \
      -DZORBIX_TESTS=ON >/dev/null
cmake --build build/test

env_started=
if "$top/scripts/testenv.sh" start; then
    env_started=1
else
    echo "zorbix: network namespace not available; its tests will be skipped"
fi
# The test result is the script's result, whatever stopping the environment says.
stop_env() {
    local rc=$?
    [ -z "$env_started" ] || "$top/scripts/testenv.sh" stop || true
    exit $rc
}
trap stop_env EXIT

cd build/test
ctest --output-on-failure --timeout 600 -j2 "$@"
