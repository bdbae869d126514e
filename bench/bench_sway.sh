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

python3 - "$as_user" "$KELVO_DESKTOP_DIR/kelvo" "$KELVO_STORE_DIR/state.json" \
    "${KELVO_BENCH_IDLE_SECONDS:-300}" "${KELVO_BENCH_SWITCHES:-20}" <<'PYTHON'
import os, queue, signal, statistics, subprocess, sys, threading, time

as_user, kelvo, state = sys.argv[1:4]
idle_seconds, switches = float(sys.argv[4]), int(sys.argv[5])
program = subprocess.Popen([as_user, kelvo], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
lines = queue.Queue()
threading.Thread(target=lambda: [lines.put((time.monotonic(), raw.decode(errors="replace")))
                                 for raw in program.stderr], daemon=True).start()


def wait_for(what, condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if program.poll() is not None or time.monotonic() > deadline:
            sys.exit(f"bench_sway.sh: gave up waiting for {what}")
        time.sleep(0.01)


def cpu_seconds():
    with open(f"/proc/{program.pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def stored_sessions():
    try:
        with open(state, encoding="utf-8") as file:
            return file.read().count('"endedAt"')
    except OSError:
        return 0


def focus(app_id):
    subprocess.run([as_user, "swaymsg", f"[app_id={app_id}] focus"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


wait_for("Kelvo to start", lambda: os.path.exists(state))
time.sleep(1)
began, cpu_before = time.monotonic(), cpu_seconds()
time.sleep(idle_seconds)
span, cpu_used = time.monotonic() - began, cpu_seconds() - cpu_before
print(f"Kelvo idle for {span:.0f} s under headless sway with a non-AI window in front")
print(f"  CPU time while idle            {cpu_used * 1000:10.0f} ms")
print(f"  CPU load while idle            {cpu_used / span * 100:10.3f} %    (goal <= 0.02)")

delays, swaymsg_runs = [], []
for _ in range(switches):
    while not lines.empty():
        lines.get()
    sessions = stored_sessions()
    sent = time.monotonic()
    focus("kelvo-bench-chat")
    swaymsg_runs.append(time.monotonic() - sent)
    deadline = sent + 5
    while True:
        try:
            at, line = lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            sys.exit("bench_sway.sh: no reminder within 5 s of the switch")
        if line.startswith("[Kelvo] Reminder"):
            delays.append(at - sent)
            break
    focus("kelvo-bench-notes")
    wait_for("the session to be stored", lambda: stored_sessions() > sessions, 5)
    time.sleep(0.2)

ms = [d * 1000 for d in delays]
print(f"Focus on a ChatGPT window under sway -> session open ({switches} switches)")
print(f"  median                         {statistics.median(ms):10.1f} ms   (goal <= 100)")
print(f"  max                            {max(ms):10.1f} ms")
print(f"  swaymsg's own run, within it   {statistics.median(swaymsg_runs) * 1000:10.1f} ms")
program.send_signal(signal.SIGTERM)
program.wait(10)
PYTHON
