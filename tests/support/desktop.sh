#!/usr/bin/env bash
# desktop.sh [OPTION...] [--] COMMAND [ARGUMENT...]
# Runs COMMAND on a private desktop in the folder $KELVO_DESKTOP_DIR (kept if KELVO_DESKTOP_KEEP is
# set), then stops what was started for it, newest first, and exits with COMMAND's status (with
# the end of every log when that is not 0). A bus not asked for is an address where nothing
# listens, so the machine's own buses are never reached. Each helper's pid is in
# KELVO_DESKTOP_<HELPER>_PID (XVFB, DUNST, SWAY, KWIN, GNOME).
#   --display        Xvfb with openbox, in DISPLAY
#   --bus            a session bus; it activates only what $KELVO_DESKTOP_DIR/services offers
#   --system-bus     a second bus of the same kind, in DBUS_SYSTEM_BUS_ADDRESS
#   --notifications  dunst on the display and the session bus; nothing times out. Each notification
#                    is appended to notifications.log: id, app name, summary, body, desktop entry,
#                    separated by US, records by RS. Its menu (dunstctl context) writes the entries
#                    to menu-input and picks the first one holding the text in menu-choice.
#   --home           HOME and the XDG folders (0700) of its own, and KELVO_STORE_DIR in it
#   --sway           headless sway with XWayland, in WAYLAND_DISPLAY, DISPLAY and SWAYSOCK. sway
#                    refuses root: then it runs as the user kelvo-sway (made once), and
#                    $KELVO_DESKTOP_DIR/as-user COMMAND... runs a command as that user
#   --kwin           KWin (kwin_wayland --virtual) on the session bus, with --bus and --home
#   --gnome          headless GNOME Shell (Wayland only) on both buses with --home, run as sway is,
#                    with the extension folders in KELVO_DESKTOP_GNOME_EXTENSIONS and
#                    org.gnome.Shell.Eval enabled
# With --kwin and --gnome, WAYLAND_DISPLAY names the compositor, and $KELVO_DESKTOP_DIR/kwin or
# /gnome-shell starts another once that one has ended.
set -euo pipefail

# wait_for WHAT COMMAND...: runs COMMAND every 20 ms until it succeeds; gives up after 20 s or when
# the helper just started has ended (a missing program, say: its log tells).
wait_for() {
    local deadline=$((SECONDS + 20))
    until "${@:2}" >/dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null && ((SECONDS <= deadline)) ||
            { echo "desktop.sh: gave up waiting for $1" >&2 && exit 1; }
        sleep 0.02
    done
}

# background NAME COMMAND...: starts a helper, its output in NAME.log, to be stopped at the end.
background() {
    "${@:2}" >"$dir/$1.log" 2>&1 &
    pid=$!
    pids+=("$pid")
}

# A helper listed as -PID is a process group, so what it forks off (sway's XWayland) stops with it.
stop_desktop() {
    local status=$? index try
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        kill -- "${pids[index]}" 2>/dev/null || true
    done
    for index in "${pids[@]}"; do
        for ((try = 0; try < 50; try++)); do
            kill -0 -- "$index" 2>/dev/null || continue 2
            sleep 0.02
        done
        kill -KILL -- "$index" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        tail -n 20 -- "$dir"/*.log 2>/dev/null | sed 's/^/    /' >&2 || true
    fi
    if [ -n "${KELVO_DESKTOP_KEEP:-}" ]; then
        echo "The desktop's files are kept in $dir" >&2
    else
        rm -rf "$dir" "${runtimes[@]}" 2>/dev/null || true
    fi
    exit "$status"
}

start_display() {
    background xvfb Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 3>"$dir/display"
    export KELVO_DESKTOP_XVFB_PID=$pid
    wait_for Xvfb test -s "$dir/display"
    DISPLAY=:$(<"$dir/display")
    export DISPLAY
    background openbox openbox --sm-disable
    wait_for openbox wm_announced
}
wm_announced() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]]; }

# start_bus NAME: a bus whose address goes to $dir/NAME.
start_bus() {
    mkdir -p "$dir/services"
    cat >"$dir/$1.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$dir</listen><auth>EXTERNAL</auth>
<servicedir>$dir/services</servicedir><policy context="default"><allow user="*"/><allow own="*"/>
<allow send_destination="*" eavesdrop="true"/><allow receive_sender="*"/><allow eavesdrop="true"/>
</policy></busconfig>
EOF
    background "$1" dbus-daemon --nofork --print-address=3 --config-file="$dir/$1.conf" \
        3>"$dir/$1"
    wait_for "the $1" test -s "$dir/$1"
}

start_dunst() {
    cat >"$dir/log-notification" <<EOF
#!/bin/sh
printf '%s\037%s\037%s\037%s\037%s\036' "\$DUNST_ID" "\$DUNST_APP_NAME" "\$DUNST_SUMMARY" \\
    "\$DUNST_BODY" "\$DUNST_DESKTOP_ENTRY" >>"$dir/notifications.log"
EOF
    cat >"$dir/menu" <<EOF
#!/bin/sh
cat >"$dir/menu-input"
grep -F -- "\$(cat "$dir/menu-choice" 2>/dev/null)" "$dir/menu-input" | head -n 1
EOF
    chmod +x "$dir/log-notification" "$dir/menu"
    # Equal notifications stay apart unless the sender replaces one.
    printf '%s\n' '[global]' 'markup = full' 'notification_limit = 0' 'idle_threshold = 0' \
        'stack_duplicates = false' "dmenu = $dir/menu" '[log-every-notification]' \
        "script = $dir/log-notification" '[urgency_normal]' 'timeout = 0' >"$dir/dunstrc"
    background dunst dunst -config "$dir/dunstrc"
    export KELVO_DESKTOP_DUNST_PID=$pid
    wait_for dunst dunstctl is-paused
}

# The user that sway runs as when desktop.sh runs as root, made once.
sway_user() {
    local try
    for ((try = 0; try < 50; try++)); do
        id -u kelvo-sway >/dev/null 2>&1 && return
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            kelvo-sway 2>/dev/null || sleep 0.1 # another desktop.sh may be making it
    done
    id -u kelvo-sway >/dev/null
}

# $dir/as-user runs a command as the compositor's user (kelvo-sway as root), who gets the --home
# folders and a runtime folder of its own, short (a socket path holds at most 108 bytes).
as_user() {
    umask 022 # what is written for sway's user must be readable by it
    if [ "$(id -u)" -eq 0 ]; then
        sway_user
        printf '#!/bin/sh\nexec setpriv --reuid=kelvo-sway --regid=kelvo-sway --clear-groups -- "$@"\n' \
            >"$dir/as-user"
        chmod 711 "$dir"
    else
        printf '#!/bin/sh\nexec "$@"\n' >"$dir/as-user"
    fi
    chmod 755 "$dir/as-user"
    runtime=$(mktemp -d /tmp/kelvo-sway.XXXXXX)
    runtimes+=("$runtime")
    if ((home)); then
        rmdir "$XDG_RUNTIME_DIR" && ln -s "$runtime" "$XDG_RUNTIME_DIR"
        if [ "$(id -u)" -eq 0 ]; then # sway's user cannot make the state folder in $dir
            mkdir -m 700 "$KELVO_STORE_DIR"
            chown -R kelvo-sway: "$dir"/{home,data,config,cache,store}
        fi
    fi
    [ "$(id -u)" -ne 0 ] || chown kelvo-sway: "$runtime"
    export XDG_RUNTIME_DIR=$runtime
}

start_sway() {
    as_user
    # New windows take no focus of their own: the tests move it with swaymsg.
    printf '%s\n' 'output HEADLESS-1 resolution 1280x800' 'xwayland force' \
        'no_focus [shell=".*"]' 'focus_on_window_activation none' \
        "exec printenv WAYLAND_DISPLAY DISPLAY SWAYSOCK >$runtime/environment" >"$dir/sway.conf"
    background sway setsid "$dir/as-user" env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_RENDERER=pixman sway --config "$dir/sway.conf"
    pids[-1]=-$pid
    export KELVO_DESKTOP_SWAY_PID=$pid
    wait_for sway sway_announced
    { read -r WAYLAND_DISPLAY && read -r DISPLAY && read -r SWAYSOCK; } <"$runtime/environment"
    export WAYLAND_DISPLAY DISPLAY SWAYSOCK
    wait_for XWayland test -S "/tmp/.X11-unix/X${DISPLAY#:}"
}
sway_announced() { [ "$(wc -l <"$runtime/environment")" -eq 3 ]; }

# KWin has a file capability that a container may refuse it; run by the dynamic loader, it needs
# none, and is told it is still itself (else it takes no Qt platform of its own).
start_kwin() {
    local loader
    loader=$(readelf -l /usr/bin/kwin_wayland | sed -n 's/.*interpreter: \(.*\)]$/\1/p')
    cat >"$dir/kwin" <<EOF
#!/bin/sh
exec env -u WAYLAND_DISPLAY -u DISPLAY -u QT_QPA_PLATFORM KWIN_FORCE_OWN_QPA=1 KWIN_COMPOSE=Q \\
    $loader /usr/bin/kwin_wayland --virtual --socket kelvo-kwin --no-lockscreen \\
    --no-global-shortcuts --no-kactivities
EOF
    chmod +x "$dir/kwin"
    background kwin "$dir/kwin"
    export WAYLAND_DISPLAY=kelvo-kwin KELVO_DESKTOP_KWIN_PID=$pid
    wait_for "KWin's scripting" dbus-send --session --dest=org.kde.KWin --print-reply /Scripting \
        org.freedesktop.DBus.Peer.Ping
}

# GNOME Shell 43 offers org.gnome.Shell.Eval only in its unsafe mode, which an extension turns on.
start_gnome() {
    as_user
    local extensions=$XDG_DATA_HOME/gnome-shell/extensions folder uuid list=
    local extension=$extensions/unsafe-mode@kelvo.test
    mkdir -p "$extension" "$XDG_CONFIG_HOME/glib-2.0/settings"
    echo '{"uuid": "unsafe-mode@kelvo.test", "name": "unsafe mode", "description": "tests",
"shell-version": ["43", "44"]}' >"$extension/metadata.json"
    echo 'function init() { return { enable() { global.context.unsafe_mode = true; },
disable() {} }; }' >"$extension/extension.js"
    for folder in "$extension" ${KELVO_DESKTOP_GNOME_EXTENSIONS:-}; do
        uuid=$(sed -n 's/.*"uuid": *"\([^"]*\)".*/\1/p' "$folder/metadata.json")
        [ "$folder" = "$extensions/$uuid" ] || cp -R "$folder" "$extensions/$uuid"
        list+="${list:+, }'$uuid'"
    done
    printf '%s\n' '[org/gnome/shell]' "enabled-extensions=[$list]" disable-user-extensions=false \
        >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
    [ "$(id -u)" -ne 0 ] || chown -R kelvo-sway: "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
    printf '#!/bin/sh\nexec setsid %s env GSETTINGS_BACKEND=keyfile gnome-shell --headless %s\n' \
        "$dir/as-user" '--wayland --no-x11 --wayland-display kelvo-gnome --virtual-monitor 1280x800' \
        >"$dir/gnome-shell"
    chmod +x "$dir/gnome-shell"
    background gnome-shell "$dir/gnome-shell"
    pids[-1]=-$pid
    export WAYLAND_DISPLAY=kelvo-gnome KELVO_DESKTOP_GNOME_PID=$pid
    wait_for "GNOME Shell's Eval" gnome_evaluates
}
gnome_evaluates() {
    [[ $(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell \
        -m org.gnome.Shell.Eval 1) == "(true, '1')" ]]
}

display=0 bus=0 system_bus=0 notifications=0 home=0 sway=0 kwin=0 gnome=0 runtimes=()
while [ $# -gt 0 ]; do
    case $1 in
    --display) display=1 ;;
    --bus) bus=1 ;;
    --system-bus) system_bus=1 ;;
    --notifications) display=1 bus=1 notifications=1 ;;
    --home) home=1 ;;
    --sway) sway=1 ;;
    --kwin) kwin=1 bus=1 home=1 ;;
    --gnome) gnome=1 bus=1 system_bus=1 home=1 ;;
    --) shift && break ;;
    -*) echo "desktop.sh: unknown option $1" >&2 && exit 2 ;;
    *) break ;;
    esac
    shift
done
[ $# -gt 0 ] || { echo "usage: desktop.sh [OPTION...] [--] COMMAND [ARGUMENT...]" >&2 && exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-desktop.XXXXXX")
pids=()
trap stop_desktop EXIT
trap 'exit 143' TERM INT HUP
export KELVO_DESKTOP_DIR=$dir DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus"
export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER
if ((home)); then
    for folder in home data config cache runtime; do
        mkdir -m 700 "$dir/$folder"
    done
    export HOME=$dir/home XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config \
        XDG_CACHE_HOME=$dir/cache XDG_RUNTIME_DIR=$dir/runtime KELVO_STORE_DIR=$dir/store
fi
((display)) && start_display
((bus)) && start_bus bus && DBUS_SESSION_BUS_ADDRESS=$(<"$dir/bus")
((system_bus)) && start_bus system-bus && DBUS_SYSTEM_BUS_ADDRESS=$(<"$dir/system-bus")
((notifications)) && start_dunst
((sway)) && start_sway
((kwin)) && start_kwin
((gnome)) && start_gnome

"$@"
