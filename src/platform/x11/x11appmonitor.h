#pragma once

#include "engine/appmonitor.h"

#include <QObject>

#include <memory>

namespace kelvo {

// The application in front on an X11 display: its own xcb connection, driven by the event loop,
// reacts to _NET_ACTIVE_WINDOW changes at once and polls every 2 seconds beside them.
class X11AppMonitor final : public QObject, public AppMonitor {
    Q_OBJECT

public:
    // Connects to the display named by DISPLAY; isConnected() tells whether that worked.
    explicit X11AppMonitor(QObject* parent = nullptr);
    ~X11AppMonitor() override;

    bool isConnected() const;

    void start() override;
    void stop() override;

signals:
    // The X server went away; no further snapshots will come.
    void displayLost();

protected:
    FrontmostAppSnapshot currentSnapshot() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
