#!/usr/bin/env bash
# The delay from GNOME Shell focusing a ChatGPT window to Kelvo opening the session, on GNOME's
# Wayland session: a headless GNOME Shell with Kelvo's extension (tests/support/desktop.sh
# --gnome), Wayland windows of the benchmark's own (build/tests/e2e/waylandwindow), focus moved
# through the shell's Eval, and the session's opening seen as the time Kelvo writes its
# "[Kelvo] Reminder" line. The clock starts before gdbus asks the shell (gdbus's own run is
# printed beside). Then a flood: the shell sends 10,000 reports at once on the extension's bus
# name, alternating the notes window and an unknown application, then one naming ChatGPT; printed
# are the time until Kelvo opens that session and its CPU time meanwhile.
#
#   bench_gnome.sh PATH-TO-KELVO
#
# KELVO_BENCH_SWITCHES (default 20) sets how many switches are timed.
set -euo pipefail

kelvo=$(realpath "${1:?usage: bench_gnome.sh PATH-TO-KELVO}")
extension=$(dirname "$kelvo")/gnome-shell-extension/legacy
window=$(dirname "$kelvo")/tests/e2e/waylandwindow
if [ -z "${KELVO_DESKTOP_GNOME_PID:-}" ]; then
    KELVO_DESKTOP_GNOME_EXTENSIONS=$extension \
        exec "$(dirname "$0")/../tests/support/desktop.sh" --gnome -- "$0" "$kelvo"
fi
[ -x "$window" ] || { echo "bench_gnome.sh: $window is not built" >&2 && exit 1; }
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset SESSION_MANAGER QUORRIN_STORE_DIR
mkdir "$XDG_DATA_HOME/applications"
printf '%s\n' '[Desktop Entry]' Type=Application Name=ChatGPT Exec=true \
    >"$XDG_DATA_HOME/applications/kelvo-bench-chat.desktop"
windows=()
for id in kelvo-bench-chat kelvo-bench-notes; do
    QT_QPA_PLATFORM=wayland "$window" "$id" >>"$KELVO_DESKTOP_DIR/windows.log" 2>&1 &
    windows+=("$!")
done
trap 'kill "${windows[@]}" 2>/dev/null || true' EXIT

PYTHONPATH=$(dirname "$(realpath "$0")") python3 - "$kelvo" "$KELVO_STORE_DIR/state.json" \
    "${KELVO_BENCH_SWITCHES:-20}" <<'EOF_PYTHON'
import subprocess, sys, time
from kelvorun import Kelvo, print_delays, timed

kelvo, state, switches = sys.argv[1], sys.argv[2], int(sys.argv[3])


def in_shell(code):
    return ["gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell",
            "-m", "org.gnome.Shell.Eval",
            "const {GLib, Gio} = imports.gi, Main = imports.ui.main; " + code]


def focus(app_id):
    return in_shell(
        "const w = global.get_window_actors().map(a => a.meta_window).find("
        f"w => w.get_wm_class() == '{app_id}'); if (w) Main.activateWindow(w); "
        "global.display.focus_window == w && !!w;")


def activate(app_id, seconds=10):
    """Focuses the window, trying again until it is mapped; True once it has the focus."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        reply = subprocess.run(focus(app_id), capture_output=True, text=True).stdout
        if reply.strip() == "(true, 'true')":
            return True
        time.sleep(0.05)
    return False


def extension_runs():
    return subprocess.run(["gdbus", "introspect", "--session", "-d", "org.kelvo.GnomeForeground",
                           "-o", "/org/kelvo/GnomeForeground"], capture_output=True).returncode == 0


deadline = time.monotonic() + 10
while not extension_runs():
    if time.monotonic() > deadline:
        sys.exit("bench_gnome.sh: Kelvo's extension did not start in GNOME Shell")
    time.sleep(0.05)
# The notes window last, in front: both are waited for, so that neither maps later and takes
# the focus.
if not (activate("kelvo-bench-chat") and activate("kelvo-bench-notes")):
    sys.exit("bench_gnome.sh: GNOME Shell did not focus the benchmark's windows")
program = Kelvo([kelvo], state, "bench_gnome.sh")
time.sleep(2)

gdbus_runs = []


def away():
    if not activate("kelvo-bench-notes"):
        program.fail("GNOME Shell did not focus the other window")


delays = program.switch_delays(
    switches, lambda: timed(gdbus_runs, focus("kelvo-bench-chat")), away)


def reports(ids):
    return ("for (const id of %s) Gio.DBus.session.emit_signal(null, '/org/kelvo/GnomeForeground', "
            "'org.freedesktop.DBus.Properties', 'PropertiesChanged', new GLib.Variant('(sa{sv}as)', "
            "['org.kelvo.GnomeForeground', {AppId: GLib.Variant.new_string(id)}, []])); true;" % ids)


while not program.lines.empty():
    program.lines.get()
cpu_before = program.cpu_seconds()
sent = time.monotonic()
subprocess.run(in_shell(reports(
    "Array.from({length: 10000}, (_, i) => i % 2 ? 'kelvo-bench-notes' : 'kelvo-bench-unknown')"
    ".concat(['kelvo-bench-chat'])")), check=True, capture_output=True)
program.wait_for("the session after the flood", lambda: any(
    line.startswith("[Kelvo] Reminder") for _, line in list(program.lines.queue)), 30)
opened = time.monotonic() - sent
flood_cpu = (program.cpu_seconds() - cpu_before) * 1000

print_delays("GNOME Shell (Wayland): focus on a ChatGPT window -> session open", delays, "gdbus",
             gdbus_runs)
print("10,000 reports from GNOME Shell at once (the notes window and an unknown application)")
print(f"  Kelvo opens the session reported after them {opened * 1000:8.1f} ms later")
print(f"  Kelvo's CPU time meanwhile     {flood_cpu:10.1f} ms")
program.stop()
EOF_PYTHON
