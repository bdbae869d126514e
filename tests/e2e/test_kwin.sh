#!/usr/bin/env bash
# The real program on KDE Plasma's Wayland session: one headless KWin on a private session bus for
# every case, Wayland windows of the test's own, and activation driven through KWin's scripting.
#
#   test_kwin.sh PATH-TO-KELVO PATH-TO-WAYLANDWINDOW
# shellcheck disable=SC2030,SC2031 # each case runs in a subshell with helpers of its own
set -euo pipefail
if [ -z "${KELVO_DESKTOP_KWIN_PID:-}" ]; then
    exec "$(dirname "$0")/../support/desktop.sh" --kwin -- "$0" "$@"
fi
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
window_program=$(realpath "$2")
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE QT_QPA_PLATFORM=offscreen
case_dir=$KELVO_DESKTOP_DIR
kelvo_path=/org/kelvo/KWinForeground kelvo_interface=org.kelvo.KWinForeground
write_chat_entry

kwin_call() { dbus-send --session --dest=org.kde.KWin --print-reply=literal "$@"; }

script_loaded() {
    [[ $(kwin_call /Scripting org.kde.kwin.Scripting.isScriptLoaded "string:$1") == *true* ]]
}

# in_kwin NAME JS: runs JS as the KWin script NAME; JS calls done() once it has done its work,
# which unloads the script. True once that has happened, within a second.
in_kwin() {
    local file=$case_dir/$1.js id tries
    printf '%s\n' "function done() { callDBus('org.kde.KWin', '/Scripting', \
'org.kde.kwin.Scripting', 'unloadScript', '$1'); }" "$2" >"$file"
    id=$(kwin_call /Scripting org.kde.kwin.Scripting.loadScript "string:$file" "string:$1") &&
        kwin_call "/${id##* }" org.kde.kwin.Script.run >/dev/null || return 1
    for ((tries = 0; tries < 50; tries++)); do
        script_loaded "$1" || return 0
        sleep 0.02
    done
    kwin_call /Scripting org.kde.kwin.Scripting.unloadScript "string:$1" >/dev/null
    return 1
}

# activate APP-ID: the window with that app id becomes the active one; waits until it has.
activate() {
    wait_until 10 "KWin to activate $1" in_kwin activate "var w = workspace.clientList().filter(\
function (c) { return String(c.resourceClass) == '$1'; })[0]; \
if (w) { workspace.activeClient = w; done(); }"
}

open_windows() {
    local id
    for id in "$chat_entry" kelvo-e2e-notes; do
        QT_QPA_PLATFORM=wayland background "$window_program" "$id"
    done
}

# Kelvo's unique name on the bus, in $kelvo_name, once its script runs in KWin.
kelvo_script_runs() {
    local name pid
    for name in $(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.ListNames); do
        [[ $name == :* ]] || continue
        pid=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID \
            "string:$name" 2>/dev/null) || continue
        [ "${pid##* }" = "$kelvo_pid" ] && kelvo_name=$name && break
    done
    [ -n "${kelvo_name:-}" ] && script_loaded "kelvo-foreground-$kelvo_name"
}

# start_kelvo NAME: a Kelvo of its own state folder, with the notes window in front.
start_kelvo() {
    export KELVO_STORE_DIR=$case_dir/$1
    kelvo_name=
    state=$KELVO_STORE_DIR/state.json
    activate kelvo-e2e-notes
    launch_kelvo "$1"
    wait_until 10 "Kelvo's script to run in KWin" kelvo_script_runs
}

# Each switch opens or ends a session at that moment, and quitting unloads the script.
sessions_follow_switches() {
    start_kelvo switches
    follow_switches 3 "$chat_entry" kelvo-e2e-notes
    stop_kelvo TERM
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
    ! script_loaded "kelvo-foreground-$kelvo_name" || fail "the script stays loaded in KWin"
}

# A report from another bus name is refused; from KWin, wrong types and a 100 KB app id (naming
# ChatGPT) change nothing; Kelvo goes on following KWin.
ignores_bad_reports() {
    start_kelvo bad
    local reply big="new Array(102401).join('x') + 'ChatGPT'"
    reply=$(dbus-send --session --print-reply --dest="$kelvo_name" "$kelvo_path" \
        "$kelvo_interface.WindowActivated" "string:$chat_entry" string:ChatGPT string:chat \
        int32:0 2>&1) && fail "a stranger's report was accepted"
    [[ $reply == *AccessDenied* ]] || fail "a stranger's report got: $reply"
    in_kwin bad "var big = $big; callDBus('$kelvo_name', '$kelvo_path', '$kelvo_interface', \
'WindowActivated', 1, 2); callDBus('$kelvo_name', '$kelvo_path', '$kelvo_interface', \
'WindowActivated', big, big, big, 7); done();" || fail "KWin did not run the bad reports"
    sleep 0.5
    running
    [ "$(lines_in "$kelvo_err" '[Kelvo] Reminder')" -eq 0 ] || fail "a bad report opened a session"
    activate "$chat_entry"
    wait_for_lines 1 "$reminder_line" 5
    activate kelvo-e2e-notes
    wait_until 5 "the session in state.json" has_sessions 1
    stop_kelvo TERM
    (($(stat -c %s "$state") < 10000)) || fail "state.json holds the 100 KB app id"
}

# KWin ends and comes back: the open session ends with it, the script is loaded into the new
# KWin, and the same Kelvo follows its windows.
follows_kwin_restart() {
    start_kelvo restart
    activate "$chat_entry"
    wait_for_lines 1 "$reminder_line" 5
    kill -KILL "$KELVO_DESKTOP_KWIN_PID"
    wait_until 5 "the session to end with KWin" has_sessions 1
    background "$case_dir/kwin"
    wait_until 20 "KWin to come back" kwin_call /Scripting org.freedesktop.DBus.Peer.Ping \
        2>/dev/null
    open_windows
    wait_until 10 "Kelvo's script to run in the new KWin" script_loaded \
        "kelvo-foreground-$kelvo_name"
    activate "$chat_entry"
    wait_for_lines 2 "$reminder_line" 5
    stop_kelvo TERM
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
}

# Checks share KWin and its windows, in this order.
open_windows
run_checks sessions_follow_switches ignores_bad_reports follows_kwin_restart
