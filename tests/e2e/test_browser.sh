#!/usr/bin/env bash
# The real program with Chromium in front on a virtual display, the real extension loaded and the
# real browser host beside the program: the active tab opens and closes a web session. The pages
# are served on names that only this Chromium resolves.
#
#   test_browser.sh PATH-TO-KELVO    (kelvo-browser-host is expected beside it)
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"
source_dir=$(realpath "$(dirname "$0")/../..")
host=$(dirname "$kelvo")/kelvo-browser-host

start_page_server() {
    background python3 "$source_dir/tests/browser/serve.py" "$case_dir/port"
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
    # Debian's launcher script adds flags of its own; its window class names the desktop entry.
    CHROME_DESKTOP=chromium.desktop /usr/lib/chromium/chromium --no-sandbox \
        --user-data-dir="$profile" --load-extension="$source_dir/browser-extension" \
        --remote-debugging-port=0 --no-first-run --no-default-browser-check \
        --password-store=basic --disable-dev-shm-usage --disable-gpu --disable-sync \
        --disable-background-networking --disable-component-update \
        --disable-features=HttpsUpgrades --ignore-certificate-errors \
        --host-resolver-rules="$rules" --window-size=800,600 "$1" >"$case_dir/chromium.log" 2>&1 &
    helpers+=("$!")
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

# Chromium in front on chatgpt.com: a web session opens with its reminder; a new tab on
# other.test closes it, stored as the ChatGPT web session in Chromium, ended when the tab changed.
web_session_follows_the_tab() {
    start_page_server
    start_chromium "https://chatgpt.com:$port/c/abc?q=private"
    activate "$chromium_window"
    wait_until 20 "the tab file to name chatgpt.com" tab_origin_is "https://chatgpt.com:$port"
    launch_kelvo kelvo
    wait_for_lines 1 '[Kelvo] Reminder: 打开 ChatGPT 网页'

    local before after
    before=$(now_us)
    python3 -c 'import sys, urllib.request as u; u.urlopen(u.Request(sys.argv[1], method="PUT"))' \
        "http://127.0.0.1:$devtools_port/json/new?https://other.test:$port/"
    wait_until 10 "the tab file to name other.test" tab_origin_is "https://other.test:$port"
    after=$(now_us)
    wait_until 5 "the web session in state.json" has_sessions 1
    read_last_session
    [ "$(stored_sessions)" -eq 1 ] || fail "$(stored_sessions) sessions stored, not 1"
    [ "$app $bundle" = "ChatGPT 网页 chromium" ] || fail "stored '$app' of '$bundle'"
    grep -qF '"sourceIdentifier": "chromium::chatgpt.com"' "$state" ||
        fail "the session is not stored as chromium::chatgpt.com"
    ((ended_at >= before / 1000000 && ended_at <= after / 1000000 + 1)) ||
        fail "endedAt $ended_at is not when the tab changed"
}

run_case "Chromium's active tab opens and closes a web session" web_session_follows_the_tab
finish
