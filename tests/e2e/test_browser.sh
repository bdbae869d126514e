#!/usr/bin/env bash
# The real program with Chromium in front on a virtual display, the real extension loaded and the
# real browser host beside the program: the active tab opens and closes a web session.
#
#   test_browser.sh PATH-TO-KELVO    (kelvo-browser-host is expected beside it)
#
# chatgpt.com is on Chromium's built-in HTTPS list, so the pages are served over HTTPS with a
# certificate of the case's own, on names that only this Chromium resolves.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$e2e_root/no-session-bus"

source_dir=$(realpath "$(dirname "$0")/../..")
host=$(dirname "$kelvo")/kelvo-browser-host
devtools=$source_dir/tests/browser/devtools.py
web_reminder_line='[Kelvo] Reminder: 打开 ChatGPT 网页'

# Debian's /usr/bin/chromium is a launcher script that adds flags of its own.
chromium=/usr/lib/chromium/chromium
[ -x "$chromium" ] || chromium=$(command -v chromium) ||
    { echo "chromium is missing; scripts/setup installs it" >&2 && exit 1; }
[ -x "$host" ] || { echo "$host is missing; build kelvo-browser-host" >&2 && exit 1; }
require openssl

# The page server for https://chatgpt.com:$port and https://other.test:$port.
start_page_server() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=chatgpt.com \
        -addext subjectAltName=DNS:chatgpt.com,DNS:other.test \
        -keyout "$case_dir/key.pem" -out "$case_dir/cert.pem" >"$case_dir/openssl.log" 2>&1 ||
        fail "openssl could not make a certificate"
    python3 "$source_dir/tests/browser/serve.py" "$case_dir/port" "$case_dir/cert.pem" \
        "$case_dir/key.pem" >"$case_dir/server.log" 2>&1 &
    helper_started
    wait_until 10 "the page server" test -s "$case_dir/port"
    port=$(<"$case_dir/port")
}

# start_chromium URL: a Chromium window on the display, with its DevTools port in
# $devtools_port and its window in $chromium_window.
start_chromium() {
    local profile=$case_dir/chromium-profile
    local rules='MAP chatgpt.com 127.0.0.1, MAP other.test 127.0.0.1, MAP * ~NOTFOUND'
    mkdir -p "$profile/NativeMessagingHosts"
    "$source_dir/scripts/host-manifest" chrome "$host" \
        >"$profile/NativeMessagingHosts/kelvo.browser_host.json"
    # The window class that Debian's launcher gives it, which names its desktop entry.
    CHROME_DESKTOP=chromium.desktop "$chromium" --no-sandbox --user-data-dir="$profile" \
        --load-extension="$source_dir/browser-extension" --remote-debugging-port=0 \
        --no-first-run --no-default-browser-check --password-store=basic \
        --disable-dev-shm-usage --disable-breakpad --disable-background-networking \
        --disable-component-update --disable-sync --disable-gpu \
        --disable-features=HttpsUpgrades --ignore-certificate-errors \
        --host-resolver-rules="$rules" \
        --window-size=800,600 "$1" >"$case_dir/chromium.log" 2>&1 &
    helper_started
    wait_until 30 "Chromium's DevTools port" test -s "$profile/DevToolsActivePort"
    devtools_port=$(head -n 1 "$profile/DevToolsActivePort")
    wait_until 30 "the Chromium window" find_chromium_window
}

find_chromium_window() {
    chromium_window=$(xdotool search --onlyvisible --class '^chromium$' 2>/dev/null | head -n 1)
    [ -n "$chromium_window" ]
}

# tab_origin_is ORIGIN: the tab file of Chromium names that origin.
tab_origin_is() {
    [[ $(cat "$XDG_RUNTIME_DIR/kelvo/tabs/chromium.json" 2>/dev/null) == *"\"origin\":\"$1\""* ]]
}

# The one stored session is the ChatGPT web session in Chromium, ended between the two instants
# (microseconds; endedAt is stored in whole seconds).
check_web_session() {
    python3 - "$state" "$1" "$2" <<'EOF' || fail "the stored session is not the expected one"
import calendar, json, sys, time
with open(sys.argv[1], encoding="utf-8") as file:
    sessions = json.load(file)["sessions"]
expected = {"sourceIdentifier": "chromium::chatgpt.com", "appName": "ChatGPT 网页",
            "sourceType": "browserDomain", "domain": "chatgpt.com", "bundleIdentifier": "chromium"}
if len(sessions) != 1:
    sys.exit(f"    {len(sessions)} sessions stored, not 1")
for key, value in expected.items():
    if sessions[0].get(key) != value:
        sys.exit(f"    {key} is {sessions[0].get(key)!r}, not {value!r}")
ended = calendar.timegm(time.strptime(sessions[0]["endedAt"], "%Y-%m-%dT%H:%M:%SZ"))
if not int(sys.argv[2]) // 1000000 <= ended <= int(sys.argv[3]) // 1000000 + 1:
    sys.exit(f"    endedAt {sessions[0]['endedAt']} is not when the tab changed")
EOF
}

# Chromium in front on chatgpt.com: a web session opens with its reminder; a new tab on
# other.test closes it as soon as the tab file changes.
web_session_follows_the_tab() {
    start_page_server
    start_chromium "https://chatgpt.com:$port/c/abc?q=private"
    activate "$chromium_window"
    wait_until 20 "the tab file to name chatgpt.com" tab_origin_is "https://chatgpt.com:$port"
    launch_kelvo kelvo
    wait_for_lines 1 "$web_reminder_line"
    [ "$(stored_sessions)" -eq 0 ] || fail "a session was stored while it is still open"

    local before after stored
    before=$(now_us)
    python3 "$devtools" "$devtools_port" new "https://other.test:$port/" >/dev/null ||
        fail "could not open a tab through DevTools"
    wait_until 10 "the tab file to name other.test" tab_origin_is "https://other.test:$port"
    after=$(now_us)
    wait_until 5 "the web session in state.json" has_sessions 1
    stored=$(now_us)
    ((stored - after <= 1500000)) ||
        fail "session stored $(((stored - after) / 1000)) ms after the tab file changed"
    echo "    session stored $(((stored - after) / 1000)) ms after the tab file changed"
    stop_kelvo TERM
    [ "$kelvo_status" -eq 0 ] || fail "exit status $kelvo_status"
    [ "$(lines_in "$kelvo_err" '[Kelvo] Reminder')" -eq 1 ] || fail "not exactly one reminder"
    check_web_session "$before" "$stored"
}

run_case "Chromium's active tab opens and closes a web session" web_session_follows_the_tab
finish
