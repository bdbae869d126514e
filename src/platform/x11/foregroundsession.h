#pragma once

#include <QProcessEnvironment>

namespace kelvo {

// Printed once on standard error when the program runs without a foreground monitor because the
// session is a Wayland one.
inline constexpr char waylandForegroundNotice[] =
    "Kelvo cannot see which application is in front under Wayland yet; no AI use will be "
    "recorded.";

// True in a Wayland session (XDG_SESSION_TYPE=wayland, or WAYLAND_DISPLAY set), where X11's
// _NET_ACTIVE_WINDOW sees only XWayland windows and must not be trusted.
bool isWaylandSession(const QProcessEnvironment& environment);

} // namespace kelvo
