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

# Runs the command after `what` every 50 ms until it succeeds, for up to 10 s.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        if "$@"; then
            return 0
        fi
        sleep 0.05
    done
    echo "with-notification-daemon: gave up waiting for $what" >&2
    return 1
}

if [ -z "${KELVO_TEST_NOTIFY_DIR:-}" ]; then
    for program in Xvfb dunst dunstctl dbus-run-session dbus-daemon dbus-send; do
        if ! command -v "$program" >/dev/null; then
            echo "with-notification-daemon: $program is missing; scripts/setup installs it" >&2
            exit 1
        fi
    done
    dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-notify.XXXXXX")
    trap 'rm -rf "$dir"' EXIT
    cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    status=0
    KELVO_TEST_NOTIFY_DIR=$dir dbus-run-session --config-file="$dir/bus.conf" -- "$0" "$@" ||
        status=$?
    exit "$status"
fi

# Inside the private bus.
dir=$KELVO_TEST_NOTIFY_DIR
started=()
stop_all() {
    local status=$?
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ "$status" -ne 0 ] && [ -s "$dir/dunst.log" ]; then
        echo "--- dunst's output ---" >&2
        cat "$dir/dunst.log" >&2
    fi
    exit "$status"
}
trap stop_all EXIT
trap 'exit 143' TERM INT HUP

Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$dir/display" 2>"$dir/xvfb.log" &
started+=($!)
display_ready() { kill -0 "${started[0]}" && read -r display <"$dir/display"; }
wait_for "Xvfb" display_ready
export DISPLAY=":$display"

cat >"$dir/menu.sh" <<EOF
#!/bin/sh
cat >"$dir/menu-input"
grep -F -- "\$(cat "$dir/menu-choice" 2>/dev/null)" "$dir/menu-input" | head -n 1
EOF
# Fields separated by US, records by RS: texts may hold anything else.
cat >"$dir/log.sh" <<EOF
#!/bin/sh
printf '%s\037%s\037%s\037%s\037%s\037%s\036' "\$DUNST_ID" "\$DUNST_APP_NAME" "\$DUNST_SUMMARY" \\
    "\$DUNST_BODY" "\$DUNST_DESKTOP_ENTRY" "\$DUNST_URGENCY" >>"$dir/notifications.log"
EOF
chmod +x "$dir/menu.sh" "$dir/log.sh"
cat >"$dir/dunstrc" <<EOF
[global]
    dmenu = $dir/menu.sh
    markup = full
    format = "%s\n%b"
    stack_duplicates = false
    idle_threshold = 0
    notification_limit = 0
    history_length = 200
[log-every-notification]
    script = $dir/log.sh
[urgency_low]
    timeout = 0
[urgency_normal]
    timeout = 0
[urgency_critical]
    timeout = 0
EOF

dunst -config "$dir/dunstrc" >"$dir/dunst.log" 2>&1 &
started+=($!)
export KELVO_TEST_DUNST_PID=$!
daemon_ready() {
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q true
}
wait_for "dunst to own org.freedesktop.Notifications" daemon_ready

"$@"
