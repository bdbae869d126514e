#!/usr/bin/env bash
# The real program on GNOME's Wayland session: one headless GNOME Shell with Kelvo's extension
# installed for its user and enabled, Wayland windows of the test's own, and focus moved through
# the shell's own Eval.
#
#   test_gnome.sh PATH-TO-KELVO PATH-TO-WAYLANDWINDOW PATH-TO-THE-EXTENSION
set -euo pipefail
if [ -z "${KELVO_DESKTOP_GNOME_PID:-}" ]; then
    KELVO_DESKTOP_GNOME_EXTENSIONS=$(realpath "$3") \
        exec "$(dirname "$0")/../support/desktop.sh" --gnome -- "$0" "$@"
fi
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
window_program=$(realpath "$2")
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=offscreen
case_dir=$KELVO_DESKTOP_DIR uuid=foreground@kelvo.org path=/org/kelvo/GnomeForeground
write_chat_entry

# in_shell JS: runs JS in GNOME Shell; true when it returned true.
in_shell() {
    [[ $(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval \
        "const {GLib, Gio} = imports.gi, Main = imports.ui.main; $1" 2>/dev/null) == "(true, 'true')" ]]
}

# activate APP-ID: the window with that app id gets the focus; waits until it has.
activate() {
    wait_until 10 "GNOME Shell to focus $1" in_shell "const w = global.get_window_actors().map(\
a => a.meta_window).find(w => w.get_wm_class() == '$1'); if (w) Main.activateWindow(w); \
global.display.focus_window == w && !!w;"
}

# The notes window last, in front: each is waited for, so that none maps later and takes the focus.
open_windows() { for id in "$chat_entry" kelvo-e2e-notes; do
    QT_QPA_PLATFORM=wayland background "$window_program" "$id" && activate "$id"; done; }
extension_runs() { gdbus introspect --session -d org.kelvo.GnomeForeground -o "$path" &>/dev/null; }

# emit_from_shell PROPERTIES: the shell itself (the extension's bus name) announces them.
emit_from_shell() {
    in_shell "Gio.DBus.session.emit_signal(null, '$path', \
'org.freedesktop.DBus.Properties', 'PropertiesChanged', new GLib.Variant('(sa{sv}as)', \
['org.kelvo.GnomeForeground', $1, []])); true;" || fail "the shell did not send $1"
}

follows_switches() { follow_switches 3 "$chat_entry" kelvo-e2e-notes; }

# Reports from another bus name, of wrong types, or with a 100 KB app id (naming ChatGPT) change
# nothing, and Kelvo goes on following the extension.
ignores_bad_reports() {
    local big="'x'.repeat(102400) + 'ChatGPT'"
    gdbus emit --session -o "$path" -s org.freedesktop.DBus.Properties.PropertiesChanged \
        org.kelvo.GnomeForeground "{'AppId': <'$chat_entry'>, 'Pid': <uint32 0>}" '@as []'
    emit_from_shell "{AppId: GLib.Variant.new_string('$chat_entry'), Pid: \
GLib.Variant.new_string('1')}"
    emit_from_shell "{AppId: GLib.Variant.new_uint32(1)}"
    emit_from_shell "{AppId: GLib.Variant.new_string($big)}"
    sleep 0.5
    [ "$(lines_in "$kelvo_err" "$reminder_line")" -eq 3 ] || fail "a bad report opened a session"
    activate "$chat_entry"
    wait_for_lines 4 "$reminder_line" 5
}

# The extension disabled and enabled again, then the shell killed and started again: the session
# ends with each, and the same Kelvo follows the extension when its name comes back.
follows_the_extension() {
    in_shell "Main.extensionManager.disableExtension('$uuid')" || true
    wait_until 5 "the session to end with the extension" has_sessions 4
    in_shell "Main.extensionManager.enableExtension('$uuid')" || true
    wait_until 10 "the extension to be enabled again" extension_runs
    activate kelvo-e2e-notes
    activate "$chat_entry"
    wait_for_lines 5 "$reminder_line" 5
    kill -KILL "$KELVO_DESKTOP_GNOME_PID"
    wait_until 5 "the session to end with the shell" has_sessions 5
    background "$case_dir/gnome-shell"
    wait_until 20 "the extension in the new shell" extension_runs
    open_windows
    activate "$chat_entry"
    wait_for_lines 6 "$reminder_line" 5
}

trap 'kill "${helpers[@]}" 2>/dev/null || true' EXIT
open_windows
wait_until 10 "the extension on the bus" extension_runs
launch_kelvo gnome
state=$KELVO_STORE_DIR/state.json
# One Kelvo throughout, so the first failed check ends the test.
for name in follows_switches ignores_bad_reports follows_the_extension; do
    started=$(now_us)
    "$name"
    echo "ok    $name ($((($(now_us) - started) / 1000)) ms)"
done
stop_kelvo TERM
[ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
(($(stat -c %s "$state") < 10000)) || fail "state.json holds the 100 KB app id"
! grep -q 'extension is not running' "$kelvo_err" || fail "Kelvo did not see the extension"
