#include "kwinappmonitor.h"

#include "kwinscript.h"
#include "platform/reportedforeground.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>

namespace kelvo {

namespace {

// Longer than a file name may be: no desktop-file name, class or app id of a real application.
constexpr qsizetype maxFieldLength = 255;
// Linux's largest process id.
constexpr qint64 maxPid = 4194304;

std::optional<QString> field(const QString& value)
{
    if (value.isEmpty() || value.size() > maxFieldLength)
        return std::nullopt;
    return value;
}

// KWin's desktopFileName is an id, sometimes a file name or a full path.
QString desktopFileId(const QString& value)
{
    QString id = QFileInfo(value).fileName();
    if (id.endsWith(QLatin1StringView(".desktop")))
        id.chop(8);
    return id;
}

// What the identity chain needs from one report; none for a report of no window. Values that no
// application would give (longer than a file name may be, or a pid out of range) count as absent.
std::optional<WindowFacts> kwinWindowFacts(const KWinWindowReport& report)
{
    WindowFacts facts;
    facts.kdeDesktopFile = field(report.desktopFileName);
    facts.windowClass = field(report.resourceClass);
    // A Wayland window's app id is its desktop-file name (its resource name is the program's
    // file name): it stands for the window when nothing resolves, as an X11 window's instance
    // does. An XWayland window without a desktop-file name keeps its instance.
    facts.instance = facts.kdeDesktopFile ? field(desktopFileId(*facts.kdeDesktopFile))
                                          : field(report.resourceName);
    if (report.pid > 0 && report.pid <= maxPid)
        facts.pid = report.pid;
    if (!facts.kdeDesktopFile && !facts.windowClass && !facts.instance && !facts.pid)
        return std::nullopt;
    // KWin names no window that Kelvo could keep; the process serves as the cache's key.
    facts.window = facts.pid ? static_cast<std::uint32_t>(*facts.pid) : 0;
    return facts;
}

} // namespace

class KWinAppMonitor::Private {
public:
    Private(const QDBusConnection& bus, KWinAppMonitor* monitor)
        : script(bus)
        , foreground([monitor] { monitor->emitCurrentSnapshot(); })
    {}

    KWinScript script;
    ReportedForeground foreground;
};

KWinAppMonitor::KWinAppMonitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(bus, this))
{
    connect(&d->script, &KWinScript::reported, this, [this](const KWinWindowReport& report) {
        d->foreground.report(kwinWindowFacts(report));
    });
}

KWinAppMonitor::~KWinAppMonitor() = default;

bool KWinAppMonitor::isAvailable(const QProcessEnvironment& environment, const QDBusConnection& bus)
{
    const auto desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                              .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!desktops.contains(QLatin1StringView("KDE"), Qt::CaseInsensitive) || !bus.isConnected())
        return false;
    // Asks the bus, not KWin, which may be busy.
    return bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin"));
}

void KWinAppMonitor::start()
{
    stop();
    d->foreground.start();
    d->script.load();
    emitCurrentSnapshot();
}

void KWinAppMonitor::stop()
{
    d->foreground.stop();
    d->script.unload();
}

FrontmostAppSnapshot KWinAppMonitor::currentSnapshot()
{
    return d->foreground.snapshot();
}

} // namespace kelvo
