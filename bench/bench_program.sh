#!/usr/bin/env bash
# The running program's figures on a virtual display (Xvfb + openbox) of its own, without a session
# bus:
#  - CPU time and peak resident memory while idle with a non-AI window in front, read from
#    /proc/PID/stat (utime + stime) and /proc/PID/status (VmHWM);
#  - the delay from `xdotool windowactivate` of a ChatGPT window to the session opening, seen as
#    the time Kelvo writes its "[Kelvo] Reminder" line (reminders go to standard error here).
#
#   bench_program.sh PATH-TO-KELVO
#
# KELVO_BENCH_IDLE_SECONDS (default 300) sets the idle span, KELVO_BENCH_SWITCHES (default 20)
# how many switches are timed.
set -euo pipefail

kelvo=$(realpath "${1:?usage: bench_program.sh PATH-TO-KELVO}")
# On a desktop of its own, which tests/support/desktop.sh starts and stops around this script.
if [ -z "${KELVO_DESKTOP_DIR:-}" ]; then
    exec "$(dirname "$0")/../tests/support/desktop.sh" --display --home -- "$0" "$kelvo"
fi
idle_seconds=${KELVO_BENCH_IDLE_SECONDS:-300}
switches=${KELVO_BENCH_SWITCHES:-20}
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset SESSION_MANAGER XDG_CURRENT_DESKTOP QUORRIN_STORE_DIR

wait_until() {
    local tries=$(($1 * 50))
    until "${@:3}"; do
        tries=$((tries - 1))
        if [ "$tries" -le 0 ]; then
            echo "bench_program.sh: gave up waiting for $2" >&2
            exit 1
        fi
        sleep 0.02
    done
}
find_window() {
    window=$(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$window" ]
}
managed() { [[ "$(xprop -root _NET_CLIENT_LIST 2>/dev/null), " == *"$(printf '0x%x' "$1"), "* ]]; }
# Windows of the benchmark, stopped with the display.
open_window() {
    xmessage -name "$1" -geometry 320x120 "$1" >>"$KELVO_DESKTOP_DIR/windows.log" 2>&1 &
    wait_until 10 "the window $1" find_window "$1"
    wait_until 10 "openbox to manage the window $1" managed "$window"
}

open_window kelvo-bench-chat
chat=$window
open_window kelvo-bench-notes
notes=$window
mkdir "$XDG_DATA_HOME/applications"
printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=ChatGPT' 'Exec=xmessage ChatGPT' \
    'StartupWMClass=kelvo-bench-chat' >"$XDG_DATA_HOME/applications/chatgpt.desktop"
xdotool windowactivate --sync "$notes" 2>/dev/null

PYTHONPATH=$(dirname "$(realpath "$0")") python3 - "$kelvo" "$KELVO_STORE_DIR/state.json" "$chat" \
    "$notes" "$idle_seconds" "$switches" <<'EOF'
import subprocess, sys
from kelvorun import Kelvo, print_delays, timed

kelvo, state, chat, notes = sys.argv[1:5]
idle_seconds, switches = float(sys.argv[5]), int(sys.argv[6])
program = Kelvo([kelvo], state, "bench_program.sh")
span, cpu_used = program.idle(idle_seconds)
startup = program.cpu_seconds() - cpu_used  # before the idle span
peak, resident = program.status_kib("VmHWM"), program.status_kib("VmRSS")
print(f"Kelvo idle for {span:.0f} s under Xvfb with a non-AI window in front")
print(f"  CPU time at start-up           {startup * 1000:10.0f} ms")
print(f"  CPU time while idle            {cpu_used * 1000:10.0f} ms")
print(f"  CPU load while idle            {cpu_used / span * 100:10.3f} %    (goal <= 0.05)")
print(f"  peak resident memory (VmHWM)   {peak / 1024:10.1f} MiB  (goal <= 40)")
print(f"  resident memory at the end     {resident / 1024:10.1f} MiB")

xdotool_runs = []
delays = program.switch_delays(
    switches, lambda: timed(xdotool_runs, ["xdotool", "windowactivate", chat]),
    lambda: subprocess.run(["xdotool", "windowactivate", "--sync", notes], check=True,
                           stderr=subprocess.DEVNULL))
print_delays("Switch to a ChatGPT window -> session open", delays, "xdotool", xdotool_runs)
program.stop()
EOF
