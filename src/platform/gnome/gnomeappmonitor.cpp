#include "gnomeappmonitor.h"

#include "gnomeshellextension.h"
#include "platform/reportedforeground.h"
#include "platform/wayland/toplevelfacts.h"

namespace kelvo {

namespace {

// Linux's largest process id.
constexpr qint64 maxPid = 4194304;

// What the identity chain needs from one report; none for a report of no window. An app id
// longer than any real one counts as absent rather than cut to another name.
std::optional<WindowFacts> gnomeWindowFacts(const GnomeWindowReport& report)
{
    const bool pid = report.pid > 0 && report.pid <= maxPid;
    // The shell names no window that Kelvo could keep; the process serves as the cache's key.
    WindowFacts facts =
        toplevelFacts(pid ? static_cast<std::uint32_t>(report.pid) : 0,
                      report.appId.size() > maxAppIdLength ? QByteArray() : report.appId.toUtf8());
    if (pid)
        facts.pid = report.pid;
    if (!facts.instance && !facts.pid)
        return std::nullopt;
    return facts;
}

} // namespace

class GnomeAppMonitor::Private {
public:
    Private(const QDBusConnection& bus, GnomeAppMonitor* monitor)
        : extension(bus)
        , foreground([monitor] { monitor->emitCurrentSnapshot(); })
    {}

    GnomeShellExtension extension;
    ReportedForeground foreground;
};

GnomeAppMonitor::GnomeAppMonitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(bus, this))
{
    connect(&d->extension, &GnomeShellExtension::reported, this,
            [this](const GnomeWindowReport& report) {
                d->foreground.report(gnomeWindowFacts(report));
            });
}

GnomeAppMonitor::~GnomeAppMonitor() = default;

bool GnomeAppMonitor::isGnome(const QProcessEnvironment& environment)
{
    const auto desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                              .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return desktops.contains(QLatin1StringView("GNOME"), Qt::CaseInsensitive);
}

void GnomeAppMonitor::start()
{
    stop();
    d->foreground.start();
    d->extension.follow();
    emitCurrentSnapshot();
}

// What the shell focuses meanwhile is reported afresh once Kelvo follows the extension again.
void GnomeAppMonitor::stop()
{
    d->foreground.stop();
    d->extension.stop();
}

FrontmostAppSnapshot GnomeAppMonitor::currentSnapshot()
{
    return d->foreground.snapshot();
}

} // namespace kelvo
