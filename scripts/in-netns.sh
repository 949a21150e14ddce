#!/usr/bin/env bash
# Runs its arguments inside the private network namespace that scripts/testenv.sh sets up.
# Exits 77 (CTest's "skipped") with the reason on stderr when the namespace or its avahi-daemon
# is not there, so that DNS-SD tests never pass without having run.
set -uo pipefail

NS=zbx

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "in-netns: skipped: entering the namespace $NS needs root" >&2
    exit 77
fi
if [ ! -e "/run/netns/$NS" ]; then
    echo "in-netns: skipped: the network namespace $NS does not exist (run scripts/testenv.sh start)" >&2
    exit 77
fi
if ! timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
    org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2'; then
    echo "in-netns: skipped: no running avahi-daemon answers on the system bus (run scripts/testenv.sh start)" >&2
    exit 77
fi
exec ip netns exec "$NS" "$@"
