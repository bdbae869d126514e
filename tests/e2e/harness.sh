# shellcheck shell=bash
# shellcheck disable=SC2034 # the variables set here are read by the scripts that source it
# Sourced by the end-to-end tests of the real program (TEST.sh PATH-TO-KELVO). Each case runs the
# test script again on a desktop of its own (tests/support/desktop.sh --display --home and the
# options the case names), where the first failed check ends it; the output ends "N passed, M
# failed". A case sees $state (in $KELVO_STORE_DIR), $chat_window (resolving to ChatGPT through the
# desktop entry $chat_entry), $other_window (resolving to nothing), and after launch_kelvo the
# program's $kelvo_pid and standard error $kelvo_err.
export LC_ALL=C.UTF-8 # also makes $EPOCHREALTIME use a decimal point
unset LANGUAGE SESSION_MANAGER XDG_CURRENT_DESKTOP QT_QPA_PLATFORMTHEME QUORRIN_STORE_DIR
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb

kelvo=$(realpath "${1:?usage: $0 PATH-TO-KELVO}")
e2e_dir=$(realpath "$(dirname "${BASH_SOURCE[0]}")")
desktop=$e2e_dir/../support/desktop.sh
chat_entry="kelvo-e2e-chatgpt"
reminder_line='[Kelvo] Reminder: 打开 ChatGPT'
passed=0 failed=0 helpers=()

fail() { echo "    FAIL: $*" >&2; exit 1; }

now_us() { echo "${EPOCHREALTIME/./}"; }

# wait_until SECONDS WHAT COMMAND...: runs COMMAND every 20 ms until it succeeds, or fails the case.
wait_until() {
    local deadline=$((SECONDS + $1))
    until "${@:3}"; do
        ((SECONDS <= deadline)) || fail "gave up after $1 s waiting for $2"
        sleep 0.02
    done
}

# run_case NAME [DESKTOP-OPTION...] FUNCTION [ARGUMENT...]
run_case() {
    local name=$1 options=() started
    shift
    while [[ $1 == --* ]]; do options+=("$1") && shift; done
    started=$(now_us)
    if "$desktop" --display --home "${options[@]}" -- "$0" "$kelvo" --case "$@"; then
        passed=$((passed + 1)) && echo "ok    $name ($((($(now_us) - started) / 1000)) ms)"
    else
        failed=$((failed + 1)) && echo "FAIL  $name"
    fi
}

finish() { echo "$passed passed, $failed failed" && [ "$failed" -eq 0 ]; }

# Inside a case's desktop: the windows and the desktop entry, then the case itself, at `finish`.
if [ "${2:-}" = --case ]; then
    case_arguments=("${@:3}")
    run_case() { :; }
    finish() {
        # Helpers that have ended already (with the display, say) cannot be stopped: no failure.
        trap 'kill "${helpers[@]}" 2>/dev/null || true; wait "${helpers[@]}" 2>/dev/null || true' EXIT
        set -euo pipefail
        case_dir=$KELVO_DESKTOP_DIR state=$KELVO_STORE_DIR/state.json
        write_chat_entry StartupWMClass=kelvo-e2e-chat
        open_window kelvo-e2e-chat "ChatGPT"
        chat_window=$window
        open_window kelvo-e2e-other "Notes"
        other_window=$window
        "${case_arguments[@]}"
    }
fi

# write_chat_entry [LINE...]: the desktop entry $chat_entry, named ChatGPT.
write_chat_entry() {
    mkdir -p "$XDG_DATA_HOME/applications"
    printf '%s\n' '[Desktop Entry]' Type=Application Name=ChatGPT Exec=true "$@" \
        >"$XDG_DATA_HOME/applications/$chat_entry.desktop"
}

# background COMMAND...: a helper of the case, stopped with it, its output in helpers.log.
background() {
    "$@" >>"$case_dir/helpers.log" 2>&1 &
    helpers+=("$!")
}

# open_window INSTANCE TEXT: an xmessage window with that WM_CLASS instance, once openbox manages
# it, in $window.
open_window() {
    background xmessage -name "$1" -geometry 320x120 "$2"
    wait_until 10 "openbox to manage the window $1" managed "$1"
}

managed() {
    window=$(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -n 1)
    [[ -n $window && "$(xprop -root _NET_CLIENT_LIST 2>/dev/null), " == \
        *"$(printf '0x%x' "$window"), "* ]]
}

# activate WINDOW: returns once openbox announces it as the active window, which Kelvo follows.
activate() {
    timeout 10 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || fail "could not activate $1"
    wait_until 5 "window $1 to be the active one" is_active "$1"
}

is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# launch_kelvo NAME: starts the program (through $run_as, if set), its standard error in NAME.log.
run_as=()
launch_kelvo() {
    kelvo_err=$case_dir/$1.log
    : >"$kelvo_err"
    "${run_as[@]}" "$kelvo" >/dev/null 2>>"$kelvo_err" &
    kelvo_pid=$!
    helpers+=("$kelvo_pid")
}

# stop_kelvo SIGNAL: once the program handles it, sends the signal; it must end with status 0.
stop_kelvo() {
    wait_until 10 "Kelvo to handle termination signals" handles_termination_signals
    kill "-$1" "$kelvo_pid"
    wait_until 10 "Kelvo to end after SIG$1" gone "$kelvo_pid"
    collect_status
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status after SIG$1"
}

collect_status() { kelvo_status=0; wait "$kelvo_pid" || kelvo_status=$?; }

# SIGHUP, SIGINT and SIGTERM are bits 0, 1 and 14 of the caught-signals mask.
handles_termination_signals() {
    local caught
    caught=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$kelvo_pid/status" 2>/dev/null)
    [ -n "$caught" ] && (((16#$caught & 0x4003) == 0x4003))
}

gone() { ! kill -0 "$1" 2>/dev/null; }

running() { kill -0 "$kelvo_pid" 2>/dev/null || fail "Kelvo ended unexpectedly"; }

lines_in() { grep -cF -- "$2" "$1" || true; }

# wait_for_lines COUNT TEXT [SECONDS]: until Kelvo's standard error holds that many lines with TEXT.
wait_for_lines() {
    wait_until "${3:-10}" "$1 × \"$2\" from Kelvo" has_lines "$1" "$2"
}

has_lines() { running && [ "$(lines_in "$kelvo_err" "$2")" -ge "$1" ]; }

# Stored sessions, counted without parsing the file: only sessions have an endedAt.
stored_sessions() { { grep -so '"endedAt"' "$state" || true; } | wc -l; }

has_sessions() { [ "$(stored_sessions)" -ge "$1" ]; }

# The last stored session in $app, $bundle, $started_at, $ended_at, $reminded_at (epoch seconds,
# "-" when absent). Fails unless state.json is a state document with a session.
read_last_session() {
    local last
    last=$(python3 - "$state" <<'PYTHON'
import calendar, json, sys, time
def epoch(text):
    return "-" if text is None else str(calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ")))
state = json.load(open(sys.argv[1], encoding="utf-8"))
s, _ = state["sessions"][-1], state["reminderEvents"]
print("\t".join([s["appName"], s.get("bundleIdentifier", "-"), epoch(s["startedAt"]),
                 epoch(s["endedAt"]), epoch(s.get("firstReminderShownAt"))]))
PYTHON
    ) || fail "no session stored, or state.json is not a state document"
    IFS=$'\t' read -r app bundle started_at ended_at reminded_at <<<"$last"
}

# within FIELD BEFORE_US AFTER_US: the stored time ($started_at or $ended_at, in whole seconds)
# lies between the two instants, allowing for the truncation.
within() {
    local at=${!1}
    ((at >= $2 / 1000000 && at * 1000000 <= $3 + 1000000)) ||
        fail "$1 $at is not within 1 s of [$(($2 / 1000000)), $(($3 / 1000000))]"
}

# check_ended_between BEFORE_US AFTER_US [SESSIONS]: the last session is the ChatGPT one, ended
# between the two instants; with SESSIONS, that many are stored.
check_ended_between() {
    [ -z "${3:-}" ] || [ "$(stored_sessions)" -eq "$3" ] ||
        fail "$(stored_sessions) sessions stored, not $3"
    read_last_session
    [ "$app $bundle" = "ChatGPT $chat_entry" ] || fail "stored '$app' of '$bundle'"
    ((started_at <= ended_at)) || fail "session ends ($ended_at) before it starts ($started_at)"
    within ended_at "$1" "$2"
}

# follow_switches ROUNDS CHAT OTHER: each `activate CHAT` opens a ChatGPT session with its
# reminder, stored once `activate OTHER` ends it, both at the switch, its reminder recorded with it.
follow_switches() {
    local round reminders sessions opened_before opened_after before after
    reminders=$(lines_in "$kelvo_err" "$reminder_line") sessions=$(stored_sessions)
    for ((round = 1; round <= $1; round++)); do
        opened_before=$(now_us)
        activate "$2"
        opened_after=$(now_us)
        wait_for_lines $((reminders + round)) "$reminder_line" 5
        [ "$(stored_sessions)" -eq $((sessions + round - 1)) ] || fail "a session stored while open"
        before=$(now_us)
        activate "$3"
        after=$(now_us)
        wait_until 5 "session $round in state.json" has_sessions $((sessions + round))
        check_ended_between "$before" "$after"
        within started_at "$opened_before" "$opened_after"
        [ "$reminded_at" != - ] || fail "session $round has no firstReminderShownAt"
    done
}

# run_checks CHECK...: checks sharing one desktop and one Kelvo, in order, until one fails.
run_checks() {
    local check started
    for check in "$@"; do
        started=$(now_us)
        "$check"
        echo "ok    $check ($((($(now_us) - started) / 1000)) ms)"
    done
}

# prepare_state JSON: the state file a previous run would leave.
prepare_state() { (umask 077 && mkdir "$KELVO_STORE_DIR" && printf '%s' "$1" >"$state"); }
