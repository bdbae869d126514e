#!/usr/bin/env bash
# The running program's figures under headless sway (tests/support/desktop.sh --sway), its
# windows on XWayland and foot windows of chosen app ids in front:
#  - CPU time while idle with a non-AI window in front, from /proc/PID/stat (utime + stime);
#  - the delay from `swaymsg focus` of a ChatGPT window to the session opening, seen as the time
#    Kelvo writes its "[Kelvo] Reminder" line (reminders go to standard error here).
#
#   bench_sway.sh PATH-TO-KELVO
#
# KELVO_BENCH_IDLE_SECONDS (default 300) sets the idle span, KELVO_BENCH_SWITCHES (default 20)
# how many switches are timed.
set -euo pipefail

if [ -z "${KELVO_DESKTOP_DIR:-}" ]; then
    exec "$(dirname "$0")/../tests/support/desktop.sh" --sway --home -- "$0" \
        "$(realpath "${1:?usage: bench_sway.sh PATH-TO-KELVO}")"
fi
export XDG_SESSION_TYPE=wayland LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM SESSION_MANAGER XDG_CURRENT_DESKTOP QUORRIN_STORE_DIR
as_user=$KELVO_DESKTOP_DIR/as-user
install -m 755 "$1" "$KELVO_DESKTOP_DIR/kelvo" # where sway's user can run it

mkdir -p "$XDG_DATA_HOME/applications"
printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=ChatGPT' 'Exec=foot' \
    >"$XDG_DATA_HOME/applications/kelvo-bench-chat.desktop"
for app_id in kelvo-bench-chat kelvo-bench-notes; do
    "$as_user" foot --app-id "$app_id" sleep 100000 >>"$KELVO_DESKTOP_DIR/windows.log" 2>&1 &
    for _ in $(seq 250); do
        "$as_user" swaymsg "[app_id=$app_id] focus" >/dev/null 2>&1 && continue 2
        sleep 0.02
    done
    echo "bench_sway.sh: the window $app_id did not appear" >&2 && exit 1
done

PYTHONPATH=$(dirname "$(realpath "$0")") python3 - "$as_user" "$KELVO_DESKTOP_DIR/kelvo" \
    "$KELVO_STORE_DIR/state.json" "${KELVO_BENCH_IDLE_SECONDS:-300}" \
    "${KELVO_BENCH_SWITCHES:-20}" <<'PYTHON'
import sys
from kelvorun import Kelvo, print_delays, timed

as_user, kelvo, state = sys.argv[1:4]
idle_seconds, switches = float(sys.argv[4]), int(sys.argv[5])
program = Kelvo([as_user, kelvo], state, "bench_sway.sh")


def focus(app_id, runs):
    return timed(runs, [as_user, "swaymsg", f"[app_id={app_id}] focus"])


span, cpu_used = program.idle(idle_seconds)
print(f"Kelvo idle for {span:.0f} s under headless sway with a non-AI window in front")
print(f"  CPU time while idle            {cpu_used * 1000:10.0f} ms")
print(f"  CPU load while idle            {cpu_used / span * 100:10.3f} %    (goal <= 0.02)")

swaymsg_runs = []
delays = program.switch_delays(switches, lambda: focus("kelvo-bench-chat", swaymsg_runs),
                               lambda: focus("kelvo-bench-notes", []))
print_delays("Focus on a ChatGPT window under sway -> session open", delays, "swaymsg",
             swaymsg_runs)
program.stop()
PYTHON
