#!/usr/bin/env bash
# The real program on a virtual display: without a session bus, where every reminder and summary
# is a line on standard error; beside dunst on a bus of its own; and with a browser in front.
# Usage: test_program.sh PATH-TO-KELVO
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
lost_display_leaks=$e2e_dir/lost-display.supp

# Each switch to the ChatGPT window opens a session with one reminder, recorded; each switch away
# ends it at that moment. The state folder that Kelvo creates is private. (A session open at
# launch is stores_on_exit's.)
switching_opens_and_closes_sessions() {
    activate "$other_window"
    launch_kelvo kelvo
    wait_until 10 "Kelvo to start" handles_termination_signals
    follow_switches 3 "$chat_window" "$other_window"
    [ "$(stat -c %a "$KELVO_STORE_DIR")" = 700 ] || fail "state folder is not private (0700)"
    [ "$(stat -c %a "$state")" = 600 ] || fail "state.json is not private (0600)"
    stop_kelvo TERM
    [ "$(stored_sessions)" -eq 3 ] || fail "$(stored_sessions) sessions stored, not 3"
    [ "$(lines_in "$kelvo_err" '[Kelvo] Reminder')" -eq 3 ] || fail "not one reminder a session"
    [ "$(grep -o '"kind": "sessionStart"' "$state" | wc -l)" -eq 3 ] || fail "reminders recorded"
}

# stores_on_exit SIGNAL|display: with a session open, Kelvo gets the signal, or its X server
# dies; the session is stored and the program ends, with status 0 after a signal.
stores_on_exit() {
    activate "$chat_window"
    LSAN_OPTIONS="suppressions=$lost_display_leaks${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
        launch_kelvo kelvo
    wait_for_lines 1 "$reminder_line"
    [ "$(stored_sessions)" -eq 0 ] || fail "a session was stored while it is still open"
    local before after
    before=$(now_us)
    if [ "$1" = display ]; then
        kill -KILL "$KELVO_DESKTOP_XVFB_PID"
        wait_until 10 "Kelvo to end without its display" gone "$kelvo_pid"
        collect_status
        ((kelvo_status < 128)) || fail "ended by signal $((kelvo_status - 128))"
    else
        stop_kelvo "$1"
    fi
    after=$(now_us)
    check_ended_between "$before" "$after" 1
}

# One program per state folder: the second says so and leaves; the first goes on working, and
# once it has ended a new one can start.
second_instance_exits() {
    activate "$chat_window"
    launch_kelvo first
    wait_for_lines 1 "$reminder_line"
    local first_pid=$kelvo_pid first_err=$kelvo_err
    launch_kelvo second
    wait_until 10 "the second instance to end" gone "$kelvo_pid"
    collect_status
    [ "$kelvo_status" -eq 0 ] || fail "second instance: exit status $kelvo_status"
    grep -qxF 'Kelvo is already running' "$kelvo_err" || fail "no 'Kelvo is already running'"
    [ "$(lines_in "$kelvo_err" '[Kelvo]')" -eq 0 ] || fail "second instance sent a reminder"

    kelvo_pid=$first_pid kelvo_err=$first_err
    running
    activate "$other_window"
    wait_until 5 "the first instance to store the session" has_sessions 1
    stop_kelvo TERM

    activate "$chat_window"
    launch_kelvo third
    wait_for_lines 1 "$reminder_line"
}

shown() { [ "$(grep -o -F -- "$1" "$case_dir/notifications.log" 2>/dev/null | wc -l)" -ge "${2:-1}" ]; }

# With a summary time already past today, both the start reminder and the summary reach the
# daemon, and nothing falls back to standard error.
notifications_through_dunst() {
    prepare_state '{"reminderEvents":[],"sessions":[],
        "settings":{"dailySummaryHour":0,"dailySummaryMinute":0}}'
    activate "$chat_window"
    launch_kelvo first
    wait_until 10 "the start reminder in dunst" shown "检测到 ChatGPT"
    wait_until 10 "the daily summary in dunst" shown "今日 AI 使用总结"
    stop_kelvo TERM
    [ "$(lines_in "$kelvo_err" '[Kelvo]')" -eq 0 ] || fail "fell back to standard error"
    grep -qF "\"lastDailySummaryDayKey\": \"$(date +%F)\"" "$state" ||
        fail "lastDailySummaryDayKey is not today"
}

# refused EXPECTED-START [ENV-ARGUMENTS...]: Kelvo, started under `env ENV-ARGUMENTS`, ends by
# itself with status 1 and exactly one line on standard error, starting with EXPECTED-START;
# state.json, when there is one, is left as it was.
refused() {
    local err=$case_dir/refused.err status=0 before=-
    [ -f "$state" ] && before=$(cksum <"$state")
    env "${@:2}" timeout 10 "$kelvo" >/dev/null 2>"$err" || status=$?
    [ "$status" -eq 1 ] || fail "exit status $status, not 1 ($(head -c 300 "$err"))"
    [[ $(wc -l <"$err") -eq 1 && $(cat "$err") == "$1"* ]] ||
        fail "standard error is not one line starting '$1': $(head -c 300 "$err")"
    [ "$before" = - ] || [ "$before" = "$(cksum <"$state")" ] || fail "state.json changed"
}

# set_immutable +|- FOLDER: the folder refuses every change, root included, or no longer does.
set_immutable() {
    [ "$(id -u)" -ne 0 ] || { chattr "${1}i" "$2"; return; }
    chmod "$([ "$1" = + ] && echo 500 || echo 700)" "$2"
}

# Where Kelvo cannot run as it should, it says why and ends before it records anything; an
# explicit offscreen platform needs no display and runs.
refuses_to_start() {
    refused 'Kelvo needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.' \
        -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
    [ ! -e "$KELVO_STORE_DIR" ] || fail "the state folder was made without a display"

    : >"$case_dir/file"
    refused 'Kelvo cannot start: cannot create folder ' KELVO_STORE_DIR="$case_dir/file/store"

    prepare_state '{"reminderEvents":[],"sessions":[],"settings":{}}'
    if set_immutable + "$KELVO_STORE_DIR"; then
        local refusal=0
        (refused 'Kelvo cannot start: cannot write to folder ') || refusal=$?
        set_immutable - "$KELVO_STORE_DIR"
        [ "$refusal" -eq 0 ] || exit 1
    else
        echo "    skipped: this file system cannot make a folder unchangeable" >&2
    fi

    DISPLAY='' QT_QPA_PLATFORM=offscreen launch_kelvo offscreen
    wait_until 10 "the lock of an offscreen Kelvo" test -e "$state.lock"
    stop_kelvo TERM
}

# write_tab ORIGIN: Chromium's tab file as the browser host writes it, naming a live process.
write_tab() {
    (umask 077 && mkdir -p "$XDG_RUNTIME_DIR/kelvo/tabs")
    printf '{"origin":"%s","pid":%d}' "$1" "$$" >"$XDG_RUNTIME_DIR/kelvo/tabs/.part"
    mv "$XDG_RUNTIME_DIR/kelvo/tabs/.part" "$XDG_RUNTIME_DIR/kelvo/tabs/chromium.json"
}

# A window that resolves to Chromium in front, its tab on chatgpt.com: a web session opens with its
# reminder; the tab file changing to other.test closes it at that moment, stored as the ChatGPT web
# session in Chromium. (The browser tests have the real browsers, extension and host write it.)
web_session_follows_the_tab() {
    open_window chromium "Chromium"
    activate "$window"
    write_tab https://chatgpt.com
    launch_kelvo kelvo
    wait_for_lines 1 '[Kelvo] Reminder: 打开 ChatGPT 网页'
    local before after
    before=$(now_us)
    write_tab https://other.test
    after=$(now_us)
    wait_until 5 "the web session in state.json" has_sessions 1
    read_last_session
    [ "$app $bundle" = "ChatGPT 网页 chromium" ] || fail "stored '$app' of '$bundle'"
    grep -qF '"sourceIdentifier": "chromium::chatgpt.com"' "$state" ||
        fail "the session is not stored as chromium::chatgpt.com"
    within ended_at "$before" "$after"
}

run_case "switching windows opens and closes sessions" switching_opens_and_closes_sessions
for signal in TERM INT HUP; do
    run_case "SIG$signal stores the open session" stores_on_exit "$signal"
done
run_case "a second instance exits" second_instance_exits
run_case "the X server goes away: session stored, program ends" stores_on_exit display
run_case "reminder and daily summary shown by dunst" --notifications \
    notifications_through_dunst
run_case "where Kelvo cannot run, it says why and ends" refuses_to_start
run_case "the browser's active tab opens and closes a web session" web_session_follows_the_tab
finish
