#!/usr/bin/env bash
# Runs a test program beside a real notification daemon: dunst on a private Xvfb display and a
# private session bus. The bus offers no activatable services, so a daemon that a test stops
# stays stopped. Everything started here is stopped again, whatever the program's outcome.
#
#   with-notification-daemon.sh PROGRAM [ARGUMENTS...]
#
# The program finds, in the folder named by KELVO_TEST_NOTIFY_DIR:
#   notifications.log  one record per notification that dunst received (log.sh below)
#   menu-choice        text written by the program; the menu script picks the first entry with it
#   menu-input         the entries that dunst last offered to the menu script
# and dunst's process id in KELVO_TEST_DUNST_PID.
set -euo pipefail

for program in Xvfb dunst dunstctl dbus-daemon dbus-send; do
    if ! command -v "$program" >/dev/null; then
        echo "with-notification-daemon: $program is missing; scripts/setup installs it" >&2
        exit 1
    fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-notify.XXXXXX")
export KELVO_TEST_NOTIFY_DIR=$dir
started=()
stop_all() {
    local status=$?
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ "$status" -ne 0 ] && [ -s "$dir/dunst.log" ]; then
        cat "$dir/dunst.log" >&2
    fi
    rm -rf "$dir"
    exit "$status"
}
trap stop_all EXIT
trap 'exit 143' TERM INT HUP

# Runs the command after `what` every 50 ms until it succeeds, for up to 10 s.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    echo "with-notification-daemon: gave up waiting for $what" >&2
    return 1
}

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 3>"$dir/display" 2>"$dir/xvfb.log" &
started+=($!)
wait_for "Xvfb" test -s "$dir/display"
export DISPLAY=":$(cat "$dir/display")"

cat >"$dir/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$dir</listen><auth>EXTERNAL</auth>
<policy context="default"><allow own="*"/><allow send_destination="*"/>
<allow receive_sender="*"/></policy></busconfig>
EOF
dbus-daemon --nofork --print-address=3 --config-file="$dir/bus.conf" 3>"$dir/bus" 2>/dev/null &
started+=($!)
wait_for "the bus" test -s "$dir/bus"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$dir/bus")
export DBUS_SESSION_BUS_ADDRESS

cat >"$dir/menu.sh" <<EOF
#!/bin/sh
cat >"$dir/menu-input"
grep -F -- "\$(cat "$dir/menu-choice" 2>/dev/null)" "$dir/menu-input" | head -n 1
EOF
# Fields separated by US, records by RS: texts may hold anything else.
cat >"$dir/log.sh" <<EOF
#!/bin/sh
printf '%s\037%s\037%s\037%s\036' "\$DUNST_ID" "\$DUNST_SUMMARY" "\$DUNST_BODY" \\
    "\$DUNST_DESKTOP_ENTRY" >>"$dir/notifications.log"
EOF
chmod +x "$dir/menu.sh" "$dir/log.sh"
# Nothing times out, and equal notifications stay apart unless Kelvo replaces one.
cat >"$dir/dunstrc" <<EOF
[global]
    dmenu = $dir/menu.sh
    markup = full
    stack_duplicates = false
[log-every-notification]
    script = $dir/log.sh
[urgency_normal]
    timeout = 0
EOF

dunst -config "$dir/dunstrc" >"$dir/dunst.log" 2>&1 &
started+=($!)
export KELVO_TEST_DUNST_PID=$!
daemon_ready() { dunstctl is-paused >/dev/null 2>&1; }
wait_for "dunst" daemon_ready

"$@"
