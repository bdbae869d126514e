#include "appidentityresolver.h"

#include "sandboxidentity.h"

#include <QFileInfo>

namespace kelvo {

namespace {

// Enough for every window of a desktop; past it the cache starts again rather than growing.
constexpr qsizetype maxCachedWindows = 256;

// _KDE_NET_WM_DESKTOP_FILE holds an id, sometimes a file name or a full path.
std::optional<QString> desktopFileId(const std::optional<QString>& value)
{
    if (!value)
        return std::nullopt;
    QString id = QFileInfo(*value).fileName();
    if (id.endsWith(QLatin1StringView(".desktop")))
        id.chop(8);
    return id;
}

FrontmostAppSnapshot fromEntry(const DesktopEntry& entry, const WindowFacts& facts)
{
    return {entry.id, entry.name ? entry.name : facts.windowClass};
}

} // namespace

AppIdentityResolver::AppIdentityResolver(const QString& procRoot)
    : m_procRoot(procRoot)
    , m_entries([this] { m_cache.clear(); })
{}

FrontmostAppSnapshot AppIdentityResolver::resolve(const WindowFacts& facts,
                                                  const PidLookup& fallbackPid)
{
    const auto cached = m_cache.constFind(facts.window);
    if (cached != m_cache.cend() && cached->first == facts)
        return cached->second;
    const FrontmostAppSnapshot snapshot = lookUp(facts, fallbackPid);
    if (m_cache.size() >= maxCachedWindows)
        m_cache.clear();
    m_cache.insert(facts.window, {facts, snapshot});
    return snapshot;
}

FrontmostAppSnapshot AppIdentityResolver::lookUp(const WindowFacts& facts,
                                                 const PidLookup& fallbackPid)
{
    for (const auto& id : {facts.gtkApplicationId, desktopFileId(facts.kdeDesktopFile)}) {
        if (const auto entry = id ? m_entries.byId(*id) : std::nullopt)
            return fromEntry(*entry, facts);
    }
    if (const auto entry = entryByWindowClass(facts))
        return fromEntry(*entry, facts);
    if (const auto id = sandboxId(facts, fallbackPid)) {
        const auto entry = m_entries.byId(*id);
        return {id, entry && entry->name ? entry->name : facts.windowClass};
    }
    return {facts.instance, facts.windowClass};
}

// The instance comes first: it is what tells apart the windows that share one class, such as a
// browser's installed web applications.
std::optional<DesktopEntry> AppIdentityResolver::entryByWindowClass(const WindowFacts& facts)
{
    for (const auto& name : {facts.instance, facts.windowClass}) {
        if (const auto entry = name ? m_entries.byStartupWmClass(*name) : std::nullopt)
            return entry;
    }
    for (const auto& name : {facts.instance, facts.windowClass}) {
        if (const auto entry = name ? m_entries.byId(name->toLower()) : std::nullopt)
            return entry;
    }
    return std::nullopt;
}

std::optional<QString> AppIdentityResolver::sandboxId(const WindowFacts& facts,
                                                      const PidLookup& fallbackPid) const
{
    const std::optional<qint64> pid = facts.pid     ? facts.pid
                                      : fallbackPid ? fallbackPid()
                                                    : std::nullopt;
    if (!pid)
        return std::nullopt;
    if (auto id = flatpakApplicationId(*pid, m_procRoot))
        return id;
    return snapName(*pid, m_procRoot);
}

} // namespace kelvo
