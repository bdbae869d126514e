#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace kelvo {

// An installed desktop entry: its id without ".desktop" and its Name in the user's locale.
struct DesktopEntry {
    QString id;
    std::optional<QString> name;

    bool operator==(const DesktopEntry&) const = default;
};

// The installed desktop entries, read through GIO. Entries that cannot be parsed do not exist
// here. GIO watches the entry folders; onChanged runs (on the main thread) when they change.
class DesktopEntries final {
public:
    explicit DesktopEntries(std::function<void()> onChanged = {});
    ~DesktopEntries();
    DesktopEntries(const DesktopEntries&) = delete;
    DesktopEntries& operator=(const DesktopEntries&) = delete;

    // The entry with this id ("org.gnome.Nautilus", with or without ".desktop"), if installed.
    std::optional<DesktopEntry> byId(const QString& id) const;
    // The first installed entry whose StartupWMClass equals wmClass. The first call after a
    // change reads all entries once; later calls use that index.
    std::optional<DesktopEntry> byStartupWmClass(const QString& wmClass);

    // Forgets what was read and runs onChanged; GIO's folder monitor calls it.
    void invalidate();
    // Delivers GIO's pending change notices when Qt's event loop does not run GLib's.
    void dispatchPendingChanges();

private:
    std::function<void()> m_onChanged;
    std::optional<QHash<QString, DesktopEntry>> m_byWmClass;
    void* m_monitor = nullptr;
    unsigned long m_handler = 0;
};

} // namespace kelvo
