#!/usr/bin/env bash
# with-x11-desktop.sh PROGRAM [ARGUMENTS...]: runs the program on Xvfb with openbox
# (tests/support/desktop.sh) and XDG folders of its own, and stops them again afterwards. The only
# desktop entries are the ones the program writes to $XDG_DATA_HOME/applications.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../support/desktop.sh
source "$(dirname "$0")/../../support/desktop.sh"

require Xvfb openbox xprop xdotool
desktop_begin x11
dir=$desktop_dir
mkdir -p "$dir/data/applications" "$dir/data-dirs" "$dir/config" "$dir/cache" "$dir/runtime"
chmod 700 "$dir/runtime"
export XDG_CONFIG_HOME=$dir/config XDG_CACHE_HOME=$dir/cache XDG_RUNTIME_DIR=$dir/runtime
start_xvfb
# openbox finds its theme in the system's data folders, so it starts before they are hidden.
start_openbox
export XDG_DATA_HOME=$dir/data XDG_DATA_DIRS=$dir/data-dirs XDG_SESSION_TYPE=x11
unset WAYLAND_DISPLAY LANGUAGE LC_ALL LC_MESSAGES

"$@"
