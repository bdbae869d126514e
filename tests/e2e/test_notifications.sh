#!/usr/bin/env bash
# The real program beside a real notification daemon: dunst on the virtual display, on a session
# bus of the test's own that offers no activatable services.
#
#   test_notifications.sh PATH-TO-KELVO
set -euo pipefail

if [ -z "${KELVO_E2E_BUS_DIR:-}" ]; then
    for program in dbus-run-session dbus-daemon dbus-send dunst; do
        if ! command -v "$program" >/dev/null; then
            echo "$program is missing; scripts/setup installs it" >&2
            exit 1
        fi
    done
    bus_dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-e2e-bus.XXXXXX")
    trap 'rm -rf "$bus_dir"' EXIT
    cat >"$bus_dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$bus_dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    status=0
    KELVO_E2E_BUS_DIR=$bus_dir dbus-run-session --config-file="$bus_dir/bus.conf" -- "$0" "$@" ||
        status=$?
    exit "$status"
fi

# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"

# Starts dunst on the case's display; every notification it shows is appended to
# $case_dir/notifications.log (fields separated by US, records by RS).
start_dunst() {
    cat >"$case_dir/log-notification" <<EOF
#!/bin/sh
printf '%s\037%s\037%s\037%s\036' "\$DUNST_APP_NAME" "\$DUNST_SUMMARY" "\$DUNST_BODY" \\
    "\$DUNST_DESKTOP_ENTRY" >>"$case_dir/notifications.log"
EOF
    chmod +x "$case_dir/log-notification"
    cat >"$case_dir/dunstrc" <<EOF
[global]
    markup = full
    notification_limit = 0
    idle_threshold = 0
[log-every-notification]
    script = $case_dir/log-notification
[urgency_normal]
    timeout = 0
EOF
    dunst -config "$case_dir/dunstrc" >"$case_dir/dunst.log" 2>&1 &
    helper_started
    wait_until 10 "dunst to own org.freedesktop.Notifications" notification_server_ready
}

notification_server_ready() {
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q true
}

# notification TITLE: prints "app name<TAB>body<TAB>desktop entry" of the first notification
# with that title that dunst showed; fails when there is none.
notification() {
    [ -f "$case_dir/notifications.log" ] || return 1
    python3 - "$case_dir/notifications.log" "$1" <<'EOF'
import sys
with open(sys.argv[1], encoding="utf-8") as log:
    records = [r.split("\x1f") for r in log.read().split("\x1e") if r]
for fields in records:
    if len(fields) == 4 and fields[1] == sys.argv[2]:
        print(fields[0], fields[2].replace("\n", " "), fields[3], sep="\t")
        sys.exit(0)
sys.exit(1)
EOF
}

shown() {
    notification "$1" >/dev/null
}

# Launched with an AI tool in front and a summary time already past: both reach the daemon as
# notifications, and nothing falls back to standard error.
notifications_through_dunst() {
    start_dunst
    prepare_state '{"reminderEvents":[],"sessions":[],
        "settings":{"dailySummaryHour":0,"dailySummaryMinute":0}}'
    activate "$chat_window"
    launch_kelvo kelvo
    wait_until 10 "the start reminder in dunst" shown "检测到 ChatGPT"
    local app body entry
    IFS=$'\t' read -r app body entry <<<"$(notification "检测到 ChatGPT")"
    [ "$app" = Kelvo ] || fail "app name '$app'"
    [[ $body == 先记\ 3\ 个你的要点* ]] || fail "reminder body '$body'"
    [ "$entry" = kelvo ] || fail "desktop-entry hint '$entry'"
    wait_until 10 "the daily summary in dunst" shown "今日 AI 使用总结"
    stop_kelvo TERM
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
    [ "$(lines_in "$kelvo_err" '[Kelvo]')" -eq 0 ] || fail "fell back to standard error"
    [ "$(stored_sessions)" -eq 1 ] || fail "the open session was not stored"
}

run_case "reminder and daily summary shown by dunst" notifications_through_dunst
finish
