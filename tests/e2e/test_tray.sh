#!/usr/bin/env bash
# The real program's tray item, read and clicked over D-Bus as a tray host would, with
# python3-dbusmock as the StatusNotifierWatcher on a session bus of the test's own.
#
#   test_tray.sh PATH-TO-KELVO
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
tray=$e2e_dir/tray.py

start_watcher() {
    "$tray" watcher >"$case_dir/watcher.out" 2>>"$case_dir/helpers.log" &
    watcher_pid=$!
    helpers+=("$watcher_pid")
    wait_until 10 "the watcher" grep -q ready "$case_dir/watcher.out"
}

registered() { [ "$("$tray" registrations 2>/dev/null)" -ge "${1:-1}" ]; }

# entry LABEL: the menu line of the entry with that label; fails when there is none.
entry() { "$tray" layout | awk -F '\t' -v label="$1" '$3 == label' | grep . || fail "no entry $1"; }

mark_of() { entry "$1" | cut -f5; }

launch_with_tray() {
    start_watcher
    activate "$other_window"
    launch_kelvo kelvo
    wait_until 10 "the item to register" registered
}

# No use today, quiet hours of 9:05 to 17:00: the title, the card's figures as plain entries,
# the switches with their marks and the commands with their shortcuts.
shows_today() {
    prepare_state '{"reminderEvents":[],"sessions":[],"settings":{"quietHoursEnabled":true,
        "quietHoursStartHour":9,"quietHoursStartMinute":5,"quietHoursEndHour":17,
        "quietHoursEndMinute":0}}'
    launch_with_tray
    [ "$("$tray" prop XAyatanaLabel)" = "今日vu 0分" ] || fail "label $("$tray" prop XAyatanaLabel)"
    entry "今日 AI 使用  0秒" | grep -q $'\tFalse\t' || fail "the figure is clickable"
    entry "今日AI对话  0 次" >/dev/null
    local suggestion
    suggestion=$("$tray" layout | awk -F '\t' '$3 ~ /^    / {sub(/^    /, "", $3); printf "%s", $3}')
    [ "$suggestion" = "今天没有记录到 AI 软件使用。保持你的判断先行。" ] ||
        fail "suggestion $suggestion"
    [ "$(mark_of "免打扰  09:05-17:00")" = 1 ] || fail "quiet hours not marked"
    [ "$(mark_of "桌面小组件")" = 0 ] || fail "widget marked"
    "$tray" layout | cut -f3 | grep -qx "设置…" || fail "no settings entry"
    [ "$("$tray" layout | grep -c $'^[0-9]*\tseparator')" -eq 3 ] || fail "separators"
    running
}

# A click on a switch changes the setting in state.json, and the menu shows the new mark.
switches_from_the_menu() {
    launch_with_tray
    [ "$(mark_of "实时提醒")" = 1 ] || fail "reminders not marked at start"
    "$tray" click "实时提醒"
    wait_until 5 "the setting in state.json" \
        grep -q '"realtimeRemindersEnabled": false' "$state"
    [ "$(mark_of "实时提醒")" = 0 ] || fail "the mark did not change"
    running
}

# 退出 with a session open: the program ends with status 0 and the session is stored.
quit_stores_the_session() {
    launch_with_tray
    activate "$chat_window"
    wait_for_lines 1 "$reminder_line"
    local before after
    before=$(now_us)
    "$tray" click "退出"
    wait_until 10 "Kelvo to end" gone "$kelvo_pid"
    after=$(now_us)
    collect_status
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
    [ "$(stored_sessions)" -eq 1 ] || fail "the open session was not stored"
    check_ended_between "$before" "$after"
}

one_settings_window() {
    [ "$(xdotool search --onlyvisible --name "^Kelvo 设置\$" 2>/dev/null | wc -l)" -eq 1 ]
}

# 设置… opens the settings window; a second click raises the same one.
settings_from_the_menu() {
    launch_with_tray
    "$tray" click "设置…"
    wait_until 10 "the settings window" one_settings_window
    "$tray" click "设置…"
    sleep 0.5
    one_settings_window || fail "not one settings window"
    running
}

# No watcher and no tray of Qt's own: one line says so, and Kelvo runs on.
no_tray_at_all() {
    activate "$other_window"
    launch_kelvo kelvo
    wait_for_lines 1 "found no system tray"
    sleep 0.5
    [ "$(lines_in "$kelvo_err" "found no system tray")" -eq 1 ] || fail "said more than once"
}

run_case "the item shows today" --bus shows_today
run_case "switches from the menu" --bus switches_from_the_menu
run_case "quit stores the session" --bus quit_stores_the_session
run_case "settings from the menu" --bus settings_from_the_menu
run_case "no tray at all" --bus no_tray_at_all
finish
