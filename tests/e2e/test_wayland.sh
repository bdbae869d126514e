#!/usr/bin/env bash
# The real program under headless sway (tests/support/desktop.sh --sway), started once for every
# check here, with foot windows of chosen app ids in front (focus moved by swaymsg) and Kelvo's own
# windows on XWayland. Usage: test_wayland.sh PATH-TO-KELVO
set -euo pipefail
if [ -z "${KELVO_DESKTOP_DIR:-}" ]; then
    exec "$(dirname "$0")/../support/desktop.sh" --sway --home -- "$0" "$(realpath "$1")"
fi
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
unset QT_QPA_PLATFORM
export XDG_SESSION_TYPE=wayland
case_dir=$KELVO_DESKTOP_DIR state=$KELVO_STORE_DIR/state.json
as_user=$case_dir/as-user run_as=("$case_dir/as-user")
# Where sway's user can read them, wherever the tree is.
install -m 755 "$kelvo" "$case_dir/kelvo"
install -m 644 "$e2e_dir/lost-display.supp" "$case_dir/lost-display.supp"
kelvo=$case_dir/kelvo
trap 'kill "${helpers[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT

write_chat_entry

# open_window APP-ID: a foot window with that app id, once sway manages it.
open_window() {
    background "$as_user" foot --app-id "$1" sleep 1000
    wait_until 10 "sway to manage the window $1" swaymsg_ok "[pid=$!] mark --add w$!"
}

swaymsg_ok() { "$as_user" swaymsg "$@" >/dev/null 2>&1; }

# activate APP-ID: moves the focus and returns once sway has done so.
activate() { swaymsg_ok "[app_id=\"$1\"] focus" || fail "could not focus $1"; }

open_window "$chat_entry"
open_window org.example.Notes
activate org.example.Notes
# Beside it, on a state folder of its own, a Kelvo on Qt's own Wayland platform.
native_store=$case_dir/store-native
mkdir -m 700 "$native_store" && chown --reference="$KELVO_STORE_DIR" "$native_store"
KELVO_STORE_DIR=$native_store QT_QPA_PLATFORM=wayland launch_kelvo native
native_pid=$kelvo_pid
# Qt ends it with exit(1) once XWayland is gone, leaving its X connection open.
LSAN_OPTIONS="suppressions=$case_dir/lost-display.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    launch_kelvo kelvo

# A non-AI window in front opens no session; each switch to the ChatGPT window opens one, each
# switch away ends it, both within a second of the switch.
switches() {
    wait_until 10 "Kelvo to start" test -e "$state"
    sleep 2.5 # past a poll
    running
    [ "$(lines_in "$kelvo_err" '[Kelvo] Reminder')" -eq 0 ] || fail "a reminder for a non-AI window"
    ! grep -q 'Wayland' "$kelvo_err" || fail "complains: $(cat "$kelvo_err")"
    follow_switches 2 "$chat_entry" org.example.Notes
}

# Without a tray (here there is no bus at all) one line says so, the widget is on screen, and
# sway floats it above the tiled windows.
widget_floats() {
    wait_until 10 "the widget among sway's floating windows" widget_floating
    [ "$(lines_in "$kelvo_err" "found no system tray")" -eq 1 ] || fail "not one line: no tray"
}
widget_floating() {
    "$as_user" swaymsg -t get_tree 2>/dev/null | python3 -c '
import json, sys
def floats(node, floating=False):
    return (floating and node.get("name") == "Kelvo" and node.get("shell") == "xwayland") or any(
        floats(child, floating or kind == "floating_nodes")
        for kind in ("nodes", "floating_nodes") for child in node.get(kind, []))
sys.exit(0 if floats(json.load(sys.stdin)) else 1)'
}

# The compositor dies with a session open: the session reaches state.json, ending when it died,
# on XWayland and on Qt's own Wayland platform alike, which both end the program with status 1.
compositor_dies() {
    activate "$chat_entry"
    wait_for_lines 3 '[Kelvo] Reminder' 5
    [ "$(lines_in "$case_dir/native.log" '[Kelvo] Reminder')" -eq 3 ] ||
        fail "the Kelvo on Qt's Wayland platform did not follow: $(head -c 300 "$case_dir/native.log")"
    local before after
    before=$(now_us)
    kill -KILL "$KELVO_DESKTOP_SWAY_PID"
    wait_until 10 "Kelvo to end without XWayland" gone "$kelvo_pid"
    wait_until 10 "Kelvo on Qt's Wayland platform to end" gone "$native_pid"
    after=$(now_us)
    collect_status
    ((kelvo_status < 128)) || fail "ended by signal $((kelvo_status - 128))"
    check_ended_between "$before" "$after"
    kelvo_pid=$native_pid state=$native_store/state.json
    collect_status
    ((kelvo_status < 128)) || fail "native: ended by signal $((kelvo_status - 128))"
    check_ended_between "$before" "$after"
}

run_checks switches widget_floats compositor_dies
