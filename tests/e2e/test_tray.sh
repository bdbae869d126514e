#!/usr/bin/env bash
# The real program's tray item, read and clicked over D-Bus as a tray host would, with
# python3-dbusmock as the StatusNotifierWatcher on a session bus of the test's own.
# Usage: test_tray.sh PATH-TO-KELVO
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
tray=$e2e_dir/tray.py

registered() { [ "$("$tray" registrations 2>/dev/null)" -ge "${1:-1}" ]; }

# entry LABEL: the menu line of the entry with that label; fails when there is none.
entry() { "$tray" layout | awk -F '\t' -v label="$1" '$3 == label' | grep . || fail "no entry $1"; }

mark_of() { entry "$1" | cut -f5; }

# Kelvo, with another window in front, once its item has registered with the test's watcher.
launch_with_tray() {
    "$tray" watcher >"$case_dir/watcher.out" 2>>"$case_dir/helpers.log" &
    helpers+=("$!")
    wait_until 10 "the watcher" grep -q ready "$case_dir/watcher.out"
    activate "$other_window"
    launch_kelvo kelvo
    wait_until 10 "the item to register" registered
}

# No use today, quiet hours of 9:05 to 17:00: the title, a figure, the suggestion, the separators
# and the switches' marks reach the host (the rest of the menu is test_traymenu's); a click on
# a switch changes the setting in state.json, and the menu shows the new mark.
shows_today() {
    prepare_state '{"reminderEvents":[],"sessions":[],"settings":{"quietHoursEnabled":true,
        "quietHoursStartHour":9,"quietHoursStartMinute":5,"quietHoursEndHour":17,
        "quietHoursEndMinute":0}}'
    launch_with_tray
    [ "$("$tray" prop XAyatanaLabel)" = "今日vu 0分" ] || fail "label $("$tray" prop XAyatanaLabel)"
    entry "今日 AI 使用  0秒" | grep -q $'\tFalse\t' || fail "the figure is clickable"
    # Read whole first: grep -q would stop reading early, and tray.py's broken pipe would fail it.
    [[ $("$tray" layout) == *$'\t    今天没有记录到 AI'* ]] || fail "no suggestion"
    [ "$("$tray" layout | grep -c $'^[0-9]*\tseparator')" -eq 3 ] || fail "separators"
    [ "$(mark_of "免打扰  09:05-17:00")" = 1 ] || fail "quiet hours not marked"
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
    check_ended_between "$before" "$after" 1
}

# find_kelvo_window TITLE-PATTERN: the visible window with that title, in $window.
find_kelvo_window() {
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$window" ]
}

hidden() { ! xdotool search --onlyvisible --name '^Kelvo$' >/dev/null 2>&1; }

# The window's top left corner and size in $X, $Y, $WIDTH, $HEIGHT (and $WINDOW, $SCREEN).
read_geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }

at() { read_geometry "$1" && [ "$X,$Y" = "$2" ]; }
moved() { ! at "$1" "$2"; }

# The widget from the menu: above, on every desktop, in no taskbar or pager, 24 from the right
# and 32 from the top of the work area, and the window in front keeps the focus. Dragged away
# and switched off and on, it is back at the top right; a click on it opens the summary.
widget_from_the_menu() {
    launch_with_tray
    "$tray" click "桌面小组件"
    wait_until 10 "the widget" find_kelvo_window '^Kelvo$'
    local widget=$window state home
    state=$(xprop -id "$widget" _NET_WM_STATE)
    for name in ABOVE SKIP_TASKBAR SKIP_PAGER; do
        [[ $state == *"_NET_WM_STATE_$name"* ]] || fail "no $name in $state"
    done
    [[ $state == *_NET_WM_STATE_STICKY* ]] ||
        xprop -id "$widget" _NET_WM_DESKTOP | grep -q 4294967295 || fail "not on every desktop"
    read -r _ _ ax ay aw _ < <(xprop -root -notype _NET_WORKAREA | tr -d ',')
    read_geometry "$widget"
    home="$((ax + aw - 24 - WIDTH)),$((ay + 32))"
    ((WIDTH >= 280 && HEIGHT >= 150)) || fail "size ${WIDTH}x$HEIGHT"
    wait_until 5 "the widget at $home" at "$widget" "$home"
    is_active "$other_window" || fail "the widget took the focus"

    xdotool mousemove $((X + 140)) $((Y + 20)) mousedown 1 mousemove $((X - 200)) $((Y + 200)) \
        mouseup 1
    wait_until 5 "the widget to move" moved "$widget" "$home"
    "$tray" click "桌面小组件"
    wait_until 5 "the widget to hide" hidden
    "$tray" click "桌面小组件"
    wait_until 5 "the widget again" find_kelvo_window '^Kelvo$'
    wait_until 5 "the widget back at $home" at "$window" "$home"
    xdotool mousemove $((X + 140)) $((Y + 20)) click 1
    wait_until 5 "the summary window from a click on the widget" find_kelvo_window '^Kelvo 总结$'
    running
}

# one_window ENTRY TITLE SIZE: the entry opens its window in front, of that size (a pattern);
# asked again after another window came in front, the same window comes back to the front.
one_window() {
    launch_with_tray
    "$tray" click "$1"
    wait_until 10 "the window $2" find_kelvo_window "^$2\$"
    local opened=$window count
    wait_until 5 "$2 in front" is_active "$opened"
    read_geometry "$opened"
    # shellcheck disable=SC2053 # the size is a pattern
    [[ ${WIDTH}x$HEIGHT == $3 ]] || fail "size ${WIDTH}x$HEIGHT"
    activate "$other_window"
    "$tray" click "$1"
    wait_until 5 "$2 in front again" is_active "$opened"
    count=$(xdotool search --onlyvisible --name "^$2\$" | wc -l)
    [ "$count" -eq 1 ] || fail "$count windows named $2"
    running
}

run_case "the item shows today; its switches work" --bus shows_today
run_case "quit stores the session" --bus quit_stores_the_session
run_case "the widget from the menu" --bus widget_from_the_menu
run_case "one settings window" --bus one_window "设置…" "Kelvo 设置" "980x*"
run_case "one summary window" --bus one_window "今日总结" "Kelvo 总结" 1080x780
finish
