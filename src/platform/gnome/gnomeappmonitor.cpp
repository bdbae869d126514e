#include "gnomeappmonitor.h"

#include "gnomeshellextension.h"
#include "platform/activationpacer.h"
#include "platform/wayland/toplevelfacts.h"
#include "platform/x11/appidentityresolver.h"

#include <QTimer>

namespace kelvo {

namespace {

constexpr int pollIntervalMs = 2000;
// The shell focuses "no window" on its way from one window to the next (and while its overview
// is shown); that is reported as "no application" only when it lasts.
constexpr int settleMs = 50;
// However fast the shell reports, the engine hears at most one observation in this time: the last.
constexpr int minIntervalMs = 20;
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
        , pacer(settleMs, minIntervalMs, [monitor] { monitor->emitCurrentSnapshot(); })
    {}

    GnomeShellExtension extension;
    AppIdentityResolver identity;
    QTimer poll;
    ActivationPacer pacer;
    std::optional<WindowFacts> front;
    bool running = false;
};

GnomeAppMonitor::GnomeAppMonitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(bus, this))
{
    d->poll.setInterval(pollIntervalMs);
    connect(&d->poll, &QTimer::timeout, this, [this] {
        d->identity.dispatchPendingChanges();
        emitCurrentSnapshot();
    });
    connect(&d->extension, &GnomeShellExtension::reported, this, &GnomeAppMonitor::onReported);
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
    d->running = true;
    d->extension.follow();
    d->poll.start();
    emitCurrentSnapshot();
}

void GnomeAppMonitor::stop()
{
    d->running = false;
    d->poll.stop();
    d->pacer.stop();
    d->extension.stop();
    // Reported afresh by the extension once Kelvo follows it again.
    d->front.reset();
}

FrontmostAppSnapshot GnomeAppMonitor::currentSnapshot()
{
    return d->front ? d->identity.resolve(*d->front) : FrontmostAppSnapshot{};
}

void GnomeAppMonitor::onReported(const GnomeWindowReport& report)
{
    if (!d->running)
        return;
    d->front = gnomeWindowFacts(report);
    if (d->front)
        d->pacer.windowInFront();
    else
        d->pacer.noWindow();
}

} // namespace kelvo
