#pragma once

#include "desktopentries.h"
#include "model/snapshot.h"
#include "x11connection.h"

#include <QHash>

#include <functional>
#include <optional>
#include <utility>

namespace kelvo {

// Turns what a window says about itself into the application's identifier (its desktop-entry
// id) and name, and remembers the answer per window until the window says something else or the
// installed desktop entries change.
class AppIdentityResolver final {
public:
    using PidLookup = std::function<std::optional<qint64>()>;

    // procRoot is where process folders are read (/proc), for the Flatpak and Snap steps.
    explicit AppIdentityResolver(const QString& procRoot = QStringLiteral("/proc"));

    // The snapshot for this window. fallbackPid is asked only when the window has no
    // _NET_WM_PID and the process id is needed.
    FrontmostAppSnapshot resolve(const WindowFacts& facts, const PidLookup& fallbackPid = {});

    // Delivers pending desktop-entry change notices when Qt's event loop does not run GLib's.
    void dispatchPendingChanges() { m_entries.dispatchPendingChanges(); }

private:
    FrontmostAppSnapshot lookUp(const WindowFacts& facts, const PidLookup& fallbackPid);
    std::optional<DesktopEntry> entryByWindowClass(const WindowFacts& facts);
    std::optional<QString> sandboxId(const WindowFacts& facts, const PidLookup& fallbackPid) const;

    QString m_procRoot;
    QHash<std::uint32_t, std::pair<WindowFacts, FrontmostAppSnapshot>> m_cache;
    DesktopEntries m_entries;
};

} // namespace kelvo
