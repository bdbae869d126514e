#pragma once

#include "engine/appmonitor.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcessEnvironment>

#include <memory>

namespace kelvo {

// The application in front on GNOME's Wayland session: Kelvo's GNOME Shell extension reports
// every change of focus at once; the 2-second poll runs beside it. Without the extension nothing
// is in front, until it appears on the bus.
class GnomeAppMonitor final : public QObject, public AppMonitor {
    Q_OBJECT

public:
    explicit GnomeAppMonitor(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);
    ~GnomeAppMonitor() override;

    // True in a GNOME session (XDG_CURRENT_DESKTOP names GNOME).
    static bool isGnome(const QProcessEnvironment& environment);

    void start() override;
    void stop() override;

protected:
    FrontmostAppSnapshot currentSnapshot() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
