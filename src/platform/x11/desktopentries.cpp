#include "desktopentries.h"

#include <QAbstractEventDispatcher>

// GLib declares a struct member named "signals", which Qt defines as a keyword; nothing below
// uses Qt's keyword.
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

namespace kelvo {

namespace {

constexpr QLatin1StringView desktopSuffix(".desktop");

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GDesktopAppInfo, ObjectDeleter>;

struct CharsDeleter {
    void operator()(char* text) const { g_free(text); }
};

std::optional<QString> localisedName(GDesktopAppInfo* info)
{
    std::unique_ptr<char, CharsDeleter> name(g_desktop_app_info_get_locale_string(info, "Name"));
    if (!name || *name == '\0')
        return std::nullopt;
    return QString::fromUtf8(name.get());
}

std::optional<DesktopEntry> entryOf(GDesktopAppInfo* info)
{
    const char* id = g_app_info_get_id(G_APP_INFO(info));
    if (!id)
        return std::nullopt;
    QString text = QString::fromUtf8(id);
    if (text.endsWith(desktopSuffix))
        text.chop(desktopSuffix.size());
    return DesktopEntry{text, localisedName(info)};
}

void onMonitorChanged(GAppInfoMonitor*, gpointer entries)
{
    static_cast<DesktopEntries*>(entries)->invalidate();
}

} // namespace

DesktopEntries::DesktopEntries(std::function<void()> onChanged)
    : m_onChanged(std::move(onChanged))
{
    // The monitor reports in the main context of this thread, which Qt's event loop runs.
    GAppInfoMonitor* monitor = g_app_info_monitor_get();
    m_monitor = monitor;
    m_handler =
        g_signal_connect_data(monitor, "changed", reinterpret_cast<GCallback>(&onMonitorChanged),
                              this, nullptr, GConnectFlags(0));
}

DesktopEntries::~DesktopEntries()
{
    g_signal_handler_disconnect(m_monitor, m_handler);
    g_object_unref(m_monitor);
}

std::optional<DesktopEntry> DesktopEntries::byId(const QString& id) const
{
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString fileName = id.endsWith(desktopSuffix) ? id : id + desktopSuffix;
    // GIO finds ids only among the entries it has indexed; a file that fails to parse gives none.
    const AppInfo info(g_desktop_app_info_new(fileName.toUtf8().constData()));
    if (!info)
        return std::nullopt;
    return entryOf(info.get());
}

std::optional<DesktopEntry> DesktopEntries::byStartupWmClass(const QString& wmClass)
{
    if (!m_byWmClass) {
        m_byWmClass.emplace();
        GList* all = g_app_info_get_all();
        for (GList* item = all; item; item = item->next) {
            if (!G_IS_DESKTOP_APP_INFO(item->data))
                continue;
            auto* info = G_DESKTOP_APP_INFO(item->data);
            const char* startupClass = g_desktop_app_info_get_startup_wm_class(info);
            const QString key = startupClass ? QString::fromUtf8(startupClass) : QString();
            if (key.isEmpty() || m_byWmClass->contains(key))
                continue;
            if (auto entry = entryOf(info))
                m_byWmClass->insert(key, *entry);
        }
        g_list_free_full(all, g_object_unref);
    }
    const auto found = m_byWmClass->constFind(wmClass);
    return found == m_byWmClass->cend() ? std::nullopt : std::optional(*found);
}

void DesktopEntries::invalidate()
{
    m_byWmClass.reset();
    if (m_onChanged)
        m_onChanged();
}

void DesktopEntries::dispatchPendingChanges()
{
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || dispatcher->inherits("QEventDispatcherGlib"))
        return;
    // Nothing of Qt's lives in GLib's default context then, so dispatching it here is safe.
    for (int i = 0; i < 64 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
}

} // namespace kelvo
