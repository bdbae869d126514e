#include "appmonitorfactory.h"

#include "engine/appmonitor.h"
#include "platform/gnome/gnomeappmonitor.h"
#include "platform/gnome/gnomeshellextension.h"
#include "platform/kde/kwinappmonitor.h"
#include "platform/wayland/wlrootsappmonitor.h"
#include "platform/x11/foregroundsession.h"
#include "platform/x11/x11appmonitor.h"

#include <QObject>

#include <cstdio>

namespace kelvo {

namespace {

void writeLine(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

std::unique_ptr<AppMonitor> waylandMonitor(const QProcessEnvironment& environment)
{
    // KDE Plasma: KWin runs a script of Kelvo's that reports each activation.
    if (KWinAppMonitor::isAvailable(environment))
        return std::make_unique<KWinAppMonitor>();
    // GNOME: Kelvo's Shell extension reports each change of focus. Without it, nothing is in
    // front until it appears (enabled later, or after the next login).
    if (GnomeAppMonitor::isGnome(environment)) {
        if (!GnomeShellExtension::isRunning())
            writeLine(QStringLiteral("Kelvo cannot see which application is in front: its GNOME "
                                     "Shell extension is not running. Enable it with "
                                     "\"gnome-extensions enable %1\" (after a first install, "
                                     "log out and in again); until then no AI use is recorded.")
                          .arg(GnomeShellExtension::uuid));
        return std::make_unique<GnomeAppMonitor>();
    }
    auto wlroots = std::make_unique<WlrootsAppMonitor>();
    switch (wlroots->availability()) {
    case WlrootsAppMonitor::Availability::watching:
        return wlroots;
    case WlrootsAppMonitor::Availability::noCompositor:
        writeLine(QStringLiteral("Kelvo cannot connect to the Wayland compositor (WAYLAND_DISPLAY "
                                 "is \"%1\"); no AI use will be recorded.")
                      .arg(environment.value(QStringLiteral("WAYLAND_DISPLAY"))));
        break;
    case WlrootsAppMonitor::Availability::noToplevelManager:
        writeLine(QStringLiteral(
            "Kelvo cannot see which application is in front: this Wayland compositor offers no "
            "zwlr_foreign_toplevel_manager_v1 (as wlroots compositors do); no AI use will be "
            "recorded."));
        break;
    }
    return std::make_unique<NullAppMonitor>();
}

std::unique_ptr<AppMonitor> x11Monitor(const std::function<void()>& displayLost)
{
    auto monitor = std::make_unique<X11AppMonitor>();
    if (!monitor->isConnected()) {
        writeLine(QStringLiteral("Kelvo cannot open the X display; no AI use will be recorded."));
        return std::make_unique<NullAppMonitor>();
    }
    QObject::connect(monitor.get(), &X11AppMonitor::displayLost, monitor.get(), displayLost);
    return monitor;
}

} // namespace

std::unique_ptr<AppMonitor> makeAppMonitor(const QProcessEnvironment& environment,
                                           const std::function<void()>& displayLost)
{
    if (isWaylandSession(environment))
        return waylandMonitor(environment);
    return x11Monitor(displayLost);
}

} // namespace kelvo
