#pragma once

#include <QProcessEnvironment>

namespace kelvo {

// True in a Wayland session (XDG_SESSION_TYPE=wayland, or WAYLAND_DISPLAY set), where X11's
// _NET_ACTIVE_WINDOW sees only XWayland windows and must not be trusted.
bool isWaylandSession(const QProcessEnvironment& environment);

} // namespace kelvo
