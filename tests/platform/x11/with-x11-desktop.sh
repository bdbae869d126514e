#!/usr/bin/env bash
# Runs a test program on a private X11 desktop: Xvfb with the openbox window manager, and XDG
# folders of its own. XDG_DATA_DIRS names an empty folder, so the only desktop entries are the
# ones the program writes to $XDG_DATA_HOME/applications. Everything started here is stopped
# again, whatever the program's outcome.
#
#   with-x11-desktop.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

for program in Xvfb openbox xprop xdotool; do
    if ! command -v "$program" >/dev/null; then
        echo "with-x11-desktop: $program is missing; scripts/setup installs it" >&2
        exit 1
    fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-x11.XXXXXX")
started=()
stop_all() {
    local status=$?
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ "$status" -ne 0 ]; then
        cat "$dir/xvfb.log" "$dir/openbox.log" >&2 2>/dev/null || true
    fi
    rm -rf "$dir"
    exit "$status"
}
trap stop_all EXIT
trap 'exit 143' TERM INT HUP

# Runs the command after `what` every 50 ms until it succeeds, for up to 10 s.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    echo "with-x11-desktop: gave up waiting for $what" >&2
    return 1
}

mkdir -p "$dir/data/applications" "$dir/data-dirs" "$dir/config" "$dir/cache" "$dir/runtime"
chmod 700 "$dir/runtime"
export XDG_CONFIG_HOME=$dir/config XDG_CACHE_HOME=$dir/cache XDG_RUNTIME_DIR=$dir/runtime

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 3>"$dir/display" 2>"$dir/xvfb.log" &
started+=($!)
wait_for "Xvfb" test -s "$dir/display"
export DISPLAY=":$(cat "$dir/display")"

# openbox finds its theme in the system's data folders, so it starts before they are hidden.
openbox --sm-disable >"$dir/openbox.log" 2>&1 &
started+=($!)
wm_ready() {
    kill -0 "${started[1]}" && xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}
wait_for "openbox" wm_ready

export XDG_DATA_HOME=$dir/data XDG_DATA_DIRS=$dir/data-dirs XDG_SESSION_TYPE=x11
unset WAYLAND_DISPLAY LANGUAGE LC_ALL LC_MESSAGES

"$@"
