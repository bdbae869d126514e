#!/usr/bin/env bash
# The delay from KWin activating a ChatGPT window to Kelvo opening the session, on KDE Plasma's
# Wayland session: a headless KWin on a private session bus (tests/support/desktop.sh --kwin),
# Wayland windows of the benchmark's own (build/tests/e2e/waylandwindow), activation through
# KWin's own scripting, and the session's opening seen as the time Kelvo writes its
# "[Kelvo] Reminder" line. The clock starts before KWin is asked to run the activating script.
# Then a flood: KWin's script sends 10,000 reports at once, alternating the two windows; printed
# are the time until Kelvo's main thread answers a call sent after them, its CPU time meanwhile,
# and the sessions stored (the engine hears at most one report per 20 ms).
#
#   bench_kwin.sh PATH-TO-KELVO
#
# KELVO_BENCH_SWITCHES (default 20) sets how many switches are timed.
set -euo pipefail

kelvo=$(realpath "${1:?usage: bench_kwin.sh PATH-TO-KELVO}")
if [ -z "${KELVO_DESKTOP_KWIN_PID:-}" ]; then
    exec "$(dirname "$0")/../tests/support/desktop.sh" --kwin -- "$0" "$kelvo"
fi
window=$(dirname "$kelvo")/tests/e2e/waylandwindow
[ -x "$window" ] || { echo "bench_kwin.sh: $window is not built" >&2 && exit 1; }
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
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

PYTHONPATH=$(dirname "$(realpath "$0")") python3 - "$kelvo" "$KELVO_DESKTOP_DIR" \
    "$KELVO_STORE_DIR/state.json" "${KELVO_BENCH_SWITCHES:-20}" <<'EOF'
import subprocess, sys, time
from kelvorun import Kelvo, print_delays

kelvo, folder, state, switches = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])


def kwin(path, method, *arguments):
    return subprocess.run(
        ["dbus-send", "--session", "--dest=org.kde.KWin", "--print-reply=literal", path,
         method, *arguments], capture_output=True, text=True).stdout


def loaded(name):
    return "true" in kwin("/Scripting", "org.kde.kwin.Scripting.isScriptLoaded", f"string:{name}")


def load_activation(app_id):
    """A loaded KWin script that makes the window with that app id active and then unloads
    itself; returns the object path that runs it, or None."""
    name = f"activate-{app_id}"
    path = f"{folder}/{name}.js"
    with open(path, "w") as script:
        script.write(
            "var w = workspace.clientList().filter(function (c) { "
            f"return String(c.resourceClass) == '{app_id}'; }})[0];\n"
            "if (w) { workspace.activeClient = w; callDBus('org.kde.KWin', '/Scripting', "
            f"'org.kde.kwin.Scripting', 'unloadScript', '{name}'); }}\n")
    reply = kwin("/Scripting", "org.kde.kwin.Scripting.loadScript", f"string:{path}",
                 f"string:{name}").split()
    return f"/{reply[-1]}" if reply and reply[-1] != "-1" else None


def activate(app_id, seconds=10):
    """Activates the window, trying again until it is mapped; True once it is active."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        script = load_activation(app_id)
        if script:
            kwin(script, "org.kde.kwin.Script.run")
            for _ in range(50):
                if not loaded(f"activate-{app_id}"):
                    return True
                time.sleep(0.02)
        kwin("/Scripting", "org.kde.kwin.Scripting.unloadScript", f"string:activate-{app_id}")
    return False


# The notes window last, in front: both are waited for, so that neither maps later and takes
# the focus.
if not (activate("kelvo-bench-chat") and activate("kelvo-bench-notes")):
    sys.exit("bench_kwin.sh: KWin did not activate the benchmark's windows")
program = Kelvo([kelvo], state, "bench_kwin.sh")
time.sleep(2)


def to_chat():
    script = load_activation("kelvo-bench-chat")
    if not script:
        program.fail("KWin did not load the activating script")
    sent = time.monotonic()
    kwin(script, "org.kde.kwin.Script.run")
    return sent


def away():
    if not activate("kelvo-bench-notes"):
        program.fail("KWin did not activate the other window")


delays = program.switch_delays(switches, to_chat, away)


def bus(method, *arguments):
    return subprocess.run(
        ["dbus-send", "--session", "--dest=org.freedesktop.DBus", "--print-reply=literal",
         "/org/freedesktop/DBus", f"org.freedesktop.DBus.{method}", *arguments],
        capture_output=True, text=True).stdout.split()


def owned_by_kelvo(name):
    return bus("GetConnectionUnixProcessID", f"string:{name}")[-1:] == [str(program.process.pid)]


kelvo_name = next(
    name for name in bus("ListNames") if name.startswith(":") and owned_by_kelvo(name))
flood = f"{folder}/flood.js"
with open(flood, "w") as script:
    script.write(
        "for (var i = 0; i < 10000; ++i) callDBus('%s', '/org/kelvo/KWinForeground', "
        "'org.kelvo.KWinForeground', 'WindowActivated', i %% 2 ? 'kelvo-bench-chat' : "
        "'kelvo-bench-notes', '', '', 0);\n"
        "callDBus('org.kde.KWin', '/Scripting', 'org.kde.kwin.Scripting', 'unloadScript', "
        "'flood');\n" % kelvo_name)
sessions, cpu_before = program.stored_sessions(), program.cpu_seconds()
flood_id = kwin("/Scripting", "org.kde.kwin.Scripting.loadScript", f"string:{flood}",
                "string:flood").split()[-1]
kwin(f"/{flood_id}", "org.kde.kwin.Script.run")
while loaded("flood"):
    time.sleep(0.01)
began = time.monotonic()
# A stranger's report is refused by Kelvo's main thread, after those KWin sent before it.
subprocess.run(["dbus-send", "--session", f"--dest={kelvo_name}", "--print-reply",
                "/org/kelvo/KWinForeground", "org.kelvo.KWinForeground.WindowActivated",
                "string:", "string:", "string:", "int32:0"], capture_output=True)
answered = time.monotonic() - began
time.sleep(0.5)
flood_cpu = (program.cpu_seconds() - cpu_before) * 1000
flood_sessions = program.stored_sessions() - sessions
if program.process.poll() is not None:
    program.fail("Kelvo ended during the flood")

print_delays("KWin (Wayland): activation of a ChatGPT window -> session open", delays)
print("10,000 reports from KWin at once (alternating the two windows)")
print(f"  Kelvo answers a call sent after them {answered * 1000:8.1f} ms later")
print(f"  Kelvo's CPU time meanwhile     {flood_cpu:10.1f} ms")
print(f"  sessions stored meanwhile      {flood_sessions:10d}")
program.stop()
EOF
