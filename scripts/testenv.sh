#!/usr/bin/env bash
# The test environment for DNS-SD: a system D-Bus (started only if none runs) and an avahi-daemon
# inside the private network namespace "zbx", so that no multicast ever leaves this machine.
#
#   scripts/testenv.sh start    set everything up and wait until the daemon answers (idempotent)
#   scripts/testenv.sh stop     stop what start started, by process id, and delete the namespace
#   scripts/testenv.sh status   exit 0 when the daemon in the namespace answers
#
# The daemon gets its own configuration file, and its own /run/avahi-daemon (pid file and socket)
# through a private mount namespace. It is never started in the machine's own namespace.
set -euo pipefail

NS=zbx
IF_NS=zb0
IF_PEER=zb1
NS_ADDR=10.99.0.1/24
STATE=/run/zorbix-testenv
AVAHI_PID=$STATE/avahi.pid
DBUS_PID=$STATE/dbus.pid
AVAHI_NAME=org.freedesktop.Avahi

say() { echo "testenv: $*" >&2; }

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        say "needs root for ip netns"
        exit 1
    fi
}

alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
pid_of() { [ -f "$1" ] && cat "$1" || true; }
# The pid in the file, only while that process still runs the expected program.
pid_running() {
    local pid
    pid=$(pid_of "$1")
    alive "$pid" || return 1
    grep -q "$2" "/proc/$pid/cmdline" 2>/dev/null || return 1
    echo "$pid"
}

bus_answers() {
    [ -S /run/dbus/system_bus_socket ] &&
        timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.GetId >/dev/null 2>&1
}

avahi_owned() {
    timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$AVAHI_NAME" 2>/dev/null | grep -q 'boolean true'
}

# The daemon is ready once its host name is established (server state 2 = running).
avahi_running() {
    timeout 5 dbus-send --system --print-reply --dest=$AVAHI_NAME / \
        org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2'
}

ns_exists() { [ -e "/run/netns/$NS" ]; }

start_bus() {
    bus_answers && return 0
    say "starting a system D-Bus"
    mkdir -p /run/dbus
    # A stale socket or pid file from a bus that is gone would stop dbus-daemon from starting.
    rm -f /run/dbus/system_bus_socket /run/dbus/pid
    local pid
    pid=$(dbus-daemon --system --fork --print-pid)
    echo "$pid" >"$DBUS_PID"
    for _ in $(seq 50); do
        bus_answers && return 0
        sleep 0.1
    done
    say "the system D-Bus does not answer"
    return 1
}

make_ns() {
    if ! ns_exists; then
        ip netns add "$NS"
    fi
    ip netns exec "$NS" ip link set lo up
    if ! ip netns exec "$NS" ip link show "$IF_NS" >/dev/null 2>&1; then
        ip netns exec "$NS" ip link add "$IF_NS" type veth peer name "$IF_PEER"
    fi
    ip netns exec "$NS" ip link set "$IF_NS" up
    ip netns exec "$NS" ip link set "$IF_PEER" up
    if ! ip netns exec "$NS" ip -4 addr show dev "$IF_NS" | grep -q "${NS_ADDR%/*}"; then
        ip netns exec "$NS" ip addr add "$NS_ADDR" dev "$IF_NS"
    fi
}

write_conf() {
    cat >"$STATE/avahi-daemon.conf" <<EOF
[server]
host-name=zbxtest
use-ipv4=yes
use-ipv6=no
allow-interfaces=$IF_NS
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000

[wide-area]
enable-wide-area=no

[publish]
publish-hinfo=no
publish-workstation=no
publish-addresses=yes

[reflector]
enable-reflector=no

[rlimits]
EOF
}

start_avahi() {
    local pid
    if pid=$(pid_running "$AVAHI_PID" avahi-daemon); then
        say "avahi-daemon already runs in $NS (pid $pid)"
    else
        if avahi_owned; then
            say "another process owns $AVAHI_NAME on the system bus; not starting a second daemon"
            return 1
        fi
        write_conf
        mkdir -p "$STATE/avahi-run" /run/avahi-daemon
        # ip netns exec, unshare and sh all exec: the pid of this job is the daemon's.
        ip netns exec "$NS" unshare --mount --propagation private sh -c \
            "mount --bind '$STATE/avahi-run' /run/avahi-daemon && exec avahi-daemon -f '$STATE/avahi-daemon.conf' --no-drop-root --no-chroot --no-proc-title" \
            >"$STATE/avahi.log" 2>&1 </dev/null &
        pid=$!
        echo "$pid" >"$AVAHI_PID"
        disown "$pid" 2>/dev/null || true
    fi
    for _ in $(seq 100); do
        if avahi_running; then
            return 0
        fi
        alive "$pid" || break
        sleep 0.1
    done
    say "avahi-daemon in $NS does not answer; its log:"
    cat "$STATE/avahi.log" >&2 || true
    return 1
}

stop_pid() {
    local pid=$1
    alive "$pid" || return 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
        alive "$pid" || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
}

cmd_start() {
    need_root
    mkdir -p "$STATE"
    start_bus
    make_ns
    start_avahi
}

cmd_stop() {
    need_root
    local pid
    if pid=$(pid_running "$AVAHI_PID" avahi-daemon); then
        stop_pid "$pid"
    fi
    rm -f "$AVAHI_PID"
    if ns_exists; then
        ip netns delete "$NS"
    fi
    if pid=$(pid_running "$DBUS_PID" dbus-daemon); then
        stop_pid "$pid"
        rm -f /run/dbus/system_bus_socket /run/dbus/pid
    fi
    rm -f "$DBUS_PID"
    return 0
}

cmd_status() {
    ns_exists && avahi_running
}

case "${1:-}" in
start) cmd_start ;;
stop) cmd_stop ;;
status) cmd_status ;;
*)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
