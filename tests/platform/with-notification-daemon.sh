#!/usr/bin/env bash
# Runs a test program beside a real notification daemon: dunst on a private Xvfb display and a
# private session bus (tests/support/desktop.sh). Everything started here is stopped again,
# whatever the program's outcome.
#
#   with-notification-daemon.sh PROGRAM [ARGUMENTS...]
#
# The program finds, in the folder named by KELVO_TEST_NOTIFY_DIR:
#   notifications.log  one record per notification that dunst received (id, summary, body, entry)
#   menu-choice        text written by the program; the menu script picks the first entry with it
#   menu-input         the entries that dunst last offered to the menu script
# and dunst's process id in KELVO_TEST_DUNST_PID.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../support/desktop.sh
source "$(dirname "$0")/../support/desktop.sh"

require Xvfb dunst dunstctl dbus-daemon dbus-send
desktop_begin notify
dir=$desktop_dir
export KELVO_TEST_NOTIFY_DIR=$dir
start_xvfb
start_session_bus
cat >"$dir/menu.sh" <<EOF
#!/bin/sh
cat >"$dir/menu-input"
grep -F -- "\$(cat "$dir/menu-choice" 2>/dev/null)" "$dir/menu-input" | head -n 1
EOF
chmod +x "$dir/menu.sh"
# Equal notifications stay apart unless Kelvo replaces one.
start_dunst ID "dmenu = $dir/menu.sh" "stack_duplicates = false"
export KELVO_TEST_DUNST_PID=$dunst_pid

"$@"
