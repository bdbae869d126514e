#pragma once

#include "engine/appmonitor.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcessEnvironment>

#include <memory>

namespace kelvo {

// The application in front on KDE Plasma's Wayland session: a script of Kelvo's own, run inside
// KWin, reports every activation at once; the 2-second poll runs beside it.
class KWinAppMonitor final : public QObject, public AppMonitor {
    Q_OBJECT

public:
    explicit KWinAppMonitor(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~KWinAppMonitor() override;

    // True in a KDE Plasma session (XDG_CURRENT_DESKTOP names KDE) whose KWin is on the bus.
    static bool isAvailable(const QProcessEnvironment& environment,
                            const QDBusConnection& bus = QDBusConnection::sessionBus());

    void start() override;
    void stop() override;

protected:
    FrontmostAppSnapshot currentSnapshot() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
