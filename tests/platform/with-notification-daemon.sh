#!/usr/bin/env bash
# with-notification-daemon.sh PROGRAM [ARGUMENTS...]: runs the program beside dunst on a private
# Xvfb display and session bus (tests/support/desktop.sh), and stops them again afterwards. The
# folder KELVO_TEST_NOTIFY_DIR holds notifications.log (see start_dunst), menu-input (the entries
# dunst last offered its menu) and menu-choice (the menu picks the first entry holding its text).
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../support/desktop.sh
source "$(dirname "$0")/../support/desktop.sh"

require Xvfb dunst dunstctl dbus-daemon dbus-send
desktop_begin notify
dir=$desktop_dir
export KELVO_TEST_NOTIFY_DIR=$dir
start_xvfb
start_session_bus
cat >"$dir/menu.sh" <<SCRIPT
#!/bin/sh
cat >"$dir/menu-input"
grep -F -- "\$(cat "$dir/menu-choice" 2>/dev/null)" "$dir/menu-input" | head -n 1
SCRIPT
chmod +x "$dir/menu.sh"
# Equal notifications stay apart unless Kelvo replaces one.
start_dunst ID "dmenu = $dir/menu.sh" "stack_duplicates = false"
export KELVO_TEST_DUNST_PID=$dunst_pid

"$@"
