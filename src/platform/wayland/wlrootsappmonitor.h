#pragma once

#include "engine/appmonitor.h"

#include <QObject>

#include <memory>

namespace kelvo {

// The application in front on a wlroots compositor: a Wayland connection of Kelvo's own, read as
// the event loop sees its socket ready, reacts to a toplevel becoming activated at once and polls
// every 2 seconds beside it. When the compositor goes away, the foreground reads as empty (so the
// open session ends at that moment), it says so once, and each poll tries to connect again.
class WlrootsAppMonitor final : public QObject, public AppMonitor {
    Q_OBJECT

public:
    enum class Availability { watching, noCompositor, noToplevelManager };

    // Connects to the compositor that WAYLAND_DISPLAY names.
    explicit WlrootsAppMonitor(QObject* parent = nullptr);
    ~WlrootsAppMonitor() override;

    // Whether the compositor could be reached at construction and offers the toplevel manager.
    Availability availability() const;

    void start() override;
    void stop() override;

protected:
    FrontmostAppSnapshot currentSnapshot() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
