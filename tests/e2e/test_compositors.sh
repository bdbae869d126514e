#!/usr/bin/env bash
# The real program on KDE Plasma's and GNOME's Wayland sessions: one headless KWin or GNOME Shell
# (tests/support/desktop.sh --kwin or --gnome) for every check, Wayland windows of the test's own,
# and activation moved by the compositor itself (a KWin script, or the shell's own Eval with
# Kelvo's extension installed and enabled). One Kelvo runs throughout, so the first failed check
# ends the test. The steps are the same on both; the table below says how each compositor does
# them, and holds its own hostile reports.
#
#   test_compositors.sh kwin|gnome PATH-TO-KELVO PATH-TO-WAYLANDWINDOW [PATH-TO-THE-EXTENSION]
# shellcheck disable=SC2317 # the table's functions are called through the steps
set -euo pipefail
compositor=${1:?usage: $0 kwin|gnome PATH-TO-KELVO PATH-TO-WAYLANDWINDOW [PATH-TO-THE-EXTENSION]}
if [ -z "${KELVO_DESKTOP_DIR:-}" ]; then
    [ "$compositor" = kwin ] || KELVO_DESKTOP_GNOME_EXTENSIONS=$(realpath "$4")
    export KELVO_DESKTOP_GNOME_EXTENSIONS
    exec "$(dirname "$0")/../support/desktop.sh" "--$compositor" -- "$0" "$@"
fi
shift
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
window_program=$(realpath "$2")
export XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=offscreen
case_dir=$KELVO_DESKTOP_DIR state=$KELVO_STORE_DIR/state.json
write_chat_entry

# For each compositor: activate APP-ID (waits until that window is the active one), back (the
# compositor answers, with what Kelvo needs of it), connected (Kelvo follows it), bad_reports,
# own_checks, after_quit, and the pid and restart command that desktop.sh gives.
case $compositor in
kwin)
    export XDG_CURRENT_DESKTOP=KDE
    compositor_pid=$KELVO_DESKTOP_KWIN_PID restart_command=$case_dir/kwin
    kelvo_path=/org/kelvo/KWinForeground kelvo_interface=org.kelvo.KWinForeground

    kwin_call() { dbus-send --session --dest=org.kde.KWin --print-reply=literal "$@"; }

    script_loaded() {
        [[ $(kwin_call /Scripting org.kde.kwin.Scripting.isScriptLoaded "string:$1") == *true* ]]
    }

    # in_kwin NAME JS: runs JS as the KWin script NAME; JS calls done() once it has done its
    # work, which unloads the script. True once that has happened, within a second.
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

    activate() {
        wait_until 20 "KWin to activate $1" in_kwin activate "var w = workspace.clientList().\
filter(function (c) { return String(c.resourceClass) == '$1'; })[0]; \
if (w) { workspace.activeClient = w; done(); }"
    }

    back() { kwin_call /Scripting org.freedesktop.DBus.Peer.Ping 2>/dev/null; }

    # Kelvo's script runs in KWin; sets $kelvo_name, Kelvo's unique name on the bus, which the
    # script that Kelvo writes for KWin names.
    connected() {
        kelvo_name=$(grep -aohs '":[0-9.]*"' "$XDG_RUNTIME_DIR"/kelvo/kwin-*.js | tr -d '"')
        [ -n "$kelvo_name" ] && script_loaded "kelvo-foreground-$kelvo_name"
    }

    # A report from another bus name is refused; from KWin, wrong types and a 100 KB app id.
    bad_reports() {
        local reply big="new Array(102401).join('x') + 'ChatGPT'"
        reply=$(dbus-send --session --print-reply --dest="$kelvo_name" "$kelvo_path" \
            "$kelvo_interface.WindowActivated" "string:$chat_entry" string:ChatGPT string:chat \
            int32:0 2>&1) && fail "a stranger's report was accepted"
        [[ $reply == *AccessDenied* ]] || fail "a stranger's report got: $reply"
        in_kwin bad "var big = $big; callDBus('$kelvo_name', '$kelvo_path', '$kelvo_interface', \
'WindowActivated', 1, 2); callDBus('$kelvo_name', '$kelvo_path', '$kelvo_interface', \
'WindowActivated', big, big, big, 7); done();" || fail "KWin did not run the bad reports"
    }

    own_checks=()
    after_quit() {
        ! script_loaded "kelvo-foreground-$kelvo_name" || fail "the script stays loaded in KWin"
    }
    ;;
gnome)
    export XDG_CURRENT_DESKTOP=GNOME
    compositor_pid=$KELVO_DESKTOP_GNOME_PID restart_command=$case_dir/gnome-shell
    uuid=foreground@kelvo.org path=/org/kelvo/GnomeForeground

    # in_shell JS: runs JS in GNOME Shell; true when it returned true.
    in_shell() {
        [[ $(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell \
            -m org.gnome.Shell.Eval "const {GLib, Gio} = imports.gi, Main = imports.ui.main; $1" \
            2>/dev/null) == "(true, 'true')" ]]
    }

    activate() {
        wait_until 20 "GNOME Shell to focus $1" in_shell "const w = global.get_window_actors().\
map(a => a.meta_window).find(w => w.get_wm_class() == '$1'); if (w) Main.activateWindow(w); \
global.display.focus_window == w && !!w;"
    }

    back() { gdbus introspect --session -d org.kelvo.GnomeForeground -o "$path" &>/dev/null; }
    connected() { back; }

    # emit_from_shell PROPERTIES: the shell itself (the extension's bus name) announces them.
    emit_from_shell() {
        in_shell "Gio.DBus.session.emit_signal(null, '$path', \
'org.freedesktop.DBus.Properties', 'PropertiesChanged', new GLib.Variant('(sa{sv}as)', \
['org.kelvo.GnomeForeground', $1, []])); true;" || fail "the shell did not send $1"
    }

    # Reports from another bus name, of wrong types, or with a 100 KB app id.
    bad_reports() {
        local big="'x'.repeat(102400) + 'ChatGPT'"
        gdbus emit --session -o "$path" -s org.freedesktop.DBus.Properties.PropertiesChanged \
            org.kelvo.GnomeForeground "{'AppId': <'$chat_entry'>, 'Pid': <uint32 0>}" '@as []'
        emit_from_shell "{AppId: GLib.Variant.new_string('$chat_entry'), Pid: \
GLib.Variant.new_string('1')}"
        emit_from_shell "{AppId: GLib.Variant.new_uint32(1)}"
        emit_from_shell "{AppId: GLib.Variant.new_string($big)}"
    }

    # The extension disabled ends the open session; enabled again, Kelvo follows it.
    follows_the_extension_disabled() {
        local sessions before
        sessions=$(stored_sessions)
        in_shell "Main.extensionManager.disableExtension('$uuid')" || true
        wait_until 5 "the session to end with the extension" has_sessions $((sessions + 1))
        before=$(reminders)
        in_shell "Main.extensionManager.enableExtension('$uuid')" || true
        wait_until 10 "the extension to be enabled again" back
        activate kelvo-e2e-notes
        switch_to_chat "$before"
    }
    own_checks=(follows_the_extension_disabled)

    after_quit() {
        ! grep -q 'extension is not running' "$kelvo_err" || fail "Kelvo did not see the extension"
    }
    ;;
esac

# The windows, each waited for, the notes window last and in front, so that none maps later and
# takes the focus. (A window program starting on a busy machine can take seconds to map, hence
# the long waits in activate.)
open_windows() {
    local id
    for id in "$chat_entry" kelvo-e2e-notes; do
        QT_QPA_PLATFORM=wayland background "$window_program" "$id" && activate "$id"
    done
}

reminders() { lines_in "$kelvo_err" "$reminder_line"; }

# The ChatGPT window in front opens a session with its reminder: one more than BEFORE, counted
# when Kelvo had no session open. (Counted just before this switch, a report still on its way,
# or two coalesced by the pacer, would make the count wrong.)
switch_to_chat() {
    activate "$chat_entry"
    wait_for_lines $(($1 + 1)) "$reminder_line" 5
}

# Each switch opens or ends a session at that moment.
follows_switches() { follow_switches 3 "$chat_entry" kelvo-e2e-notes; }

# Bad reports (those naming ChatGPT included) change nothing, and Kelvo goes on following.
ignores_bad_reports() {
    local before
    before=$(reminders)
    bad_reports
    sleep 0.5
    running
    [ "$(reminders)" -eq "$before" ] || fail "a bad report opened a session"
    switch_to_chat "$before"
}

# The compositor killed and started again: the open session ends with it, and the same Kelvo
# follows the new one.
follows_a_restart() {
    local sessions before
    sessions=$(stored_sessions)
    kill -KILL "$compositor_pid"
    wait_until 5 "the session to end with $compositor" has_sessions $((sessions + 1))
    before=$(reminders)
    background "$restart_command"
    wait_until 20 "$compositor to come back" back
    # Before any script of the test's own: KWin 5 numbers a script by how many are loaded, so one
    # loaded later could take the number of one unloaded earlier.
    wait_until 10 "Kelvo to follow the new $compositor" connected
    open_windows
    switch_to_chat "$before"
}

trap 'kill "${helpers[@]}" 2>/dev/null || true' EXIT
open_windows
wait_until 10 "$compositor to answer" back
launch_kelvo kelvo
wait_until 10 "Kelvo to follow $compositor" connected
run_checks follows_switches ignores_bad_reports "${own_checks[@]}" follows_a_restart
stop_kelvo TERM
(($(stat -c %s "$state") < 10000)) || fail "state.json holds the 100 KB app id"
after_quit
