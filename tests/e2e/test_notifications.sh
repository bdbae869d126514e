#!/usr/bin/env bash
# The real program beside a real notification daemon: dunst on the virtual display, on a session
# bus of the test's own that offers no activatable services.
#
#   test_notifications.sh PATH-TO-KELVO
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
require dbus-daemon dbus-send dunst dunstctl

# notification TITLE: prints "app name<TAB>body<TAB>desktop entry" of the first notification
# with that title that dunst showed; fails when there is none.
notification() {
    local app summary body entry
    [ -f "$case_dir/notifications.log" ] || return 1
    while IFS=$'\037' read -r -d $'\036' app summary body entry; do
        [ "$summary" = "$1" ] || continue
        printf '%s\t%s\t%s\n' "$app" "${body//$'\n'/ }" "$entry"
        return 0
    done <"$case_dir/notifications.log"
    return 1
}

shown() {
    notification "$1" >/dev/null
}

# Launched with an AI tool in front and a summary time already past: both reach the daemon as
# notifications, and nothing falls back to standard error.
notifications_through_dunst() {
    start_session_bus
    start_dunst APP_NAME "notification_limit = 0" "idle_threshold = 0"
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
