# shellcheck shell=bash
# Sourced by the test harnesses: a private desktop (Xvfb, openbox, dunst, a session bus) whose
# files live in $desktop_dir. Whatever is started here is stopped again when the shell exits.

# require PROGRAM...: ends the shell when one of them is missing.
require() {
    local program
    for program in "$@"; do
        command -v "$program" >/dev/null ||
            { echo "$program is missing; scripts/setup installs it" >&2 && exit 1; }
    done
}

# desktop_begin NAME [PARENT]: a fresh $desktop_dir, and stop_desktop on any exit.
desktop_begin() {
    desktop_dir=$(mktemp -d "${2:-${TMPDIR:-/tmp}}/kelvo-$1.XXXXXX")
    desktop_pids=()
    trap stop_desktop EXIT
    trap 'exit 143' TERM INT HUP
}

# Stops, newest first, whatever was started (killing what outlives a second); on failure shows
# the end of every log.
stop_desktop() {
    local status=$? index pid try
    for ((index = ${#desktop_pids[@]} - 1; index >= 0; index--)); do
        kill "${desktop_pids[index]}" 2>/dev/null || true
    done
    for pid in "${desktop_pids[@]}"; do
        for ((try = 0; try < 50; try++)); do
            kill -0 "$pid" 2>/dev/null || continue 2
            sleep 0.02
        done
        kill -KILL "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        tail -n 20 -- "$desktop_dir"/*.{err,log} 2>/dev/null | sed 's/^/    /' >&2 || true
    fi
    rm -rf "$desktop_dir"
    exit "$status"
}

# wait_for WHAT COMMAND...: runs COMMAND every 20 ms until it succeeds, for up to $wait_seconds
# (10) seconds.
wait_for() {
    local what=$1 limit=${wait_seconds:-10}
    local deadline=$((SECONDS + limit))
    until "${@:2}"; do
        ((SECONDS <= deadline)) ||
            { echo "gave up after $limit s waiting for $what" >&2 && return 1; }
        sleep 0.02
    done
}

# Records the helper just started in the background, to be stopped with the rest; only the
# program under test is waited for, so bash need not report how the others ended.
helper_started() { desktop_pids+=("$!") && disown "$!"; }

# alive PID COMMAND...: the process runs and COMMAND succeeds.
alive() { kill -0 "$1" 2>/dev/null && "${@:2}"; }

# start_xvfb [SCREEN]: a display of its own in DISPLAY, served by $xvfb_pid. Without -noreset,
# the server resets whenever its last client leaves.
start_xvfb() {
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${1:-1280x800x24}" \
        3>"$desktop_dir/display" 2>"$desktop_dir/xvfb.log" &
    xvfb_pid=$!
    helper_started
    wait_for "Xvfb" alive "$xvfb_pid" test -s "$desktop_dir/display"
    read -r DISPLAY <"$desktop_dir/display"
    export DISPLAY=":$DISPLAY"
}

# start_openbox: returns once openbox has announced itself on the root window.
start_openbox() {
    openbox --sm-disable >"$desktop_dir/openbox.log" 2>&1 &
    helper_started
    wait_for "openbox" alive "$!" wm_announced
}
wm_announced() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]]; }

# start_session_bus: a session bus of its own, offering no activatable services, so a daemon
# that a test stops stays stopped.
start_session_bus() {
    cat >"$desktop_dir/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$desktop_dir</listen><auth>EXTERNAL</auth>
<policy context="default"><allow own="*"/><allow send_destination="*" eavesdrop="true"/>
<allow receive_sender="*"/><allow eavesdrop="true"/></policy></busconfig>
EOF
    dbus-daemon --nofork --print-address=3 --config-file="$desktop_dir/bus.conf" \
        3>"$desktop_dir/bus" 2>/dev/null &
    helper_started
    wait_for "the session bus" test -s "$desktop_dir/bus"
    read -r DBUS_SESSION_BUS_ADDRESS <"$desktop_dir/bus"
    export DBUS_SESSION_BUS_ADDRESS
}

# start_dunst FIELD [SETTING...]: dunst ($dunst_pid) with those [global] settings. Nothing times
# out; each notification shown is appended to $desktop_dir/notifications.log as $DUNST_FIELD,
# summary, body and desktop entry: fields separated by US, records by RS (texts hold the rest).
start_dunst() {
    cat >"$desktop_dir/log-notification" <<EOF
#!/bin/sh
printf '%s\037%s\037%s\037%s\036' "\$DUNST_$1" "\$DUNST_SUMMARY" "\$DUNST_BODY" \\
    "\$DUNST_DESKTOP_ENTRY" >>"$desktop_dir/notifications.log"
EOF
    chmod +x "$desktop_dir/log-notification"
    cat >"$desktop_dir/dunstrc" <<EOF
[global]
    markup = full
$(printf '    %s\n' "${@:2}")
[log-every-notification]
    script = $desktop_dir/log-notification
[urgency_normal]
    timeout = 0
EOF
    dunst -config "$desktop_dir/dunstrc" >"$desktop_dir/dunst.log" 2>&1 &
    dunst_pid=$!
    helper_started
    wait_for "dunst" alive "$dunst_pid" dunst_answers
}
dunst_answers() { dunstctl is-paused >/dev/null 2>&1; }
