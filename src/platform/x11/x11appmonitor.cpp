#include "x11appmonitor.h"

#include "appidentityresolver.h"
#include "x11connection.h"

#include <QSocketNotifier>
#include <QTimer>

namespace kelvo {

namespace {

constexpr int pollIntervalMs = 2000;
constexpr int settleMs = 50;

} // namespace

class X11AppMonitor::Private {
public:
    explicit Private(X11AppMonitor* monitor)
        : q(monitor)
    {}

    void onActiveWindowChanged(bool changed);
    void afterRoundTrips();
    void loseDisplay();

    X11AppMonitor* q;
    X11Connection x11;
    AppIdentityResolver identity;
    QTimer poll;
    QTimer settle;
    std::unique_ptr<QSocketNotifier> notifier;
    std::uint32_t lastWindow = 0;
    bool running = false;
    bool lost = false;
};

// Window managers such as openbox clear _NET_ACTIVE_WINDOW on their way from one window to the
// next. That step is reported as "no application" only when it lasts, so that moving between two
// windows of one AI tool does not end its session.
void X11AppMonitor::Private::onActiveWindowChanged(bool changed)
{
    while (changed && running && x11.isOpen()) {
        if (x11.activeWindow() != 0) {
            settle.stop();
            q->emitCurrentSnapshot();
            return;
        }
        changed = x11.takeQueuedEvents();
        if (!changed)
            settle.start();
    }
    if (!x11.isOpen())
        loseDisplay();
}

// Replies can carry events along that xcb then holds in its queue, where the socket notifier
// cannot see them; an activation among them is handled on the next turn of the event loop.
void X11AppMonitor::Private::afterRoundTrips()
{
    if (!x11.isOpen()) {
        loseDisplay();
        return;
    }
    if (x11.takeQueuedEvents() && running) {
        QMetaObject::invokeMethod(
            q, [this] { onActiveWindowChanged(true); }, Qt::QueuedConnection);
    }
}

// Reported on the next turn of the event loop: the loss can be noticed in the middle of an
// emission, and whoever handles it may well stop the engine that is running that emission.
void X11AppMonitor::Private::loseDisplay()
{
    if (lost)
        return;
    lost = true;
    q->stop();
    QMetaObject::invokeMethod(
        q, [this] { emit q->displayLost(); }, Qt::QueuedConnection);
}

X11AppMonitor::X11AppMonitor(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    d->poll.setInterval(pollIntervalMs);
    connect(&d->poll, &QTimer::timeout, this, [this] {
        d->identity.dispatchPendingChanges();
        emitCurrentSnapshot();
    });
    d->settle.setSingleShot(true);
    d->settle.setInterval(settleMs);
    connect(&d->settle, &QTimer::timeout, this, [this] { emitCurrentSnapshot(); });
    if (!d->x11.isOpen())
        return;
    // Everything that arrived is read, so the socket only signals again for new events.
    d->notifier = std::make_unique<QSocketNotifier>(d->x11.fileDescriptor(), QSocketNotifier::Read);
    d->notifier->setEnabled(false);
    connect(d->notifier.get(), &QSocketNotifier::activated, this,
            [this] { d->onActiveWindowChanged(d->x11.takeEvents()); });
}

X11AppMonitor::~X11AppMonitor() = default;

bool X11AppMonitor::isConnected() const
{
    return d->x11.isOpen();
}

void X11AppMonitor::start()
{
    stop();
    if (d->x11.isOpen()) {
        d->x11.watchActiveWindow(true);
        d->x11.takeEvents(); // what happened while stopped is read afresh below
        d->notifier->setEnabled(true);
        d->poll.start();
        d->running = true;
    }
    emitCurrentSnapshot();
}

void X11AppMonitor::stop()
{
    d->running = false;
    d->poll.stop();
    d->settle.stop();
    if (d->notifier)
        d->notifier->setEnabled(false);
    d->x11.watchActiveWindow(false);
}

FrontmostAppSnapshot X11AppMonitor::currentSnapshot()
{
    if (!d->x11.isOpen())
        return {};
    const WindowFacts facts = d->x11.activeWindowFacts(d->lastWindow);
    d->lastWindow = facts.window;
    FrontmostAppSnapshot snapshot;
    if (facts.window != 0) {
        snapshot =
            d->identity.resolve(facts, [this, &facts] { return d->x11.clientPid(facts.window); });
    }
    d->afterRoundTrips();
    return d->x11.isOpen() ? snapshot : FrontmostAppSnapshot{};
}

} // namespace kelvo
