#pragma once

#include <QProcessEnvironment>

#include <functional>
#include <memory>

namespace kelvo {

class AppMonitor;

// Chooses, once at start, how this desktop tells which application is in front: under a Wayland
// session the compositor's own way in (X11's active window sees only XWayland windows there),
// else the X display. Where there is no way in, one line on standard error names what is missing
// and the monitor sees nothing in front. displayLost is called when the X display goes away.
std::unique_ptr<AppMonitor> makeAppMonitor(const QProcessEnvironment& environment,
                                           const std::function<void()>& displayLost);

} // namespace kelvo
