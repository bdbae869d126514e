#include "wlrootsappmonitor.h"

#include "platform/x11/appidentityresolver.h"
#include "toplevelfacts.h"
#include "toplevelwatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

namespace kelvo {

namespace {

constexpr int pollIntervalMs = 2000;
// A moment with no toplevel activated lasts this long before it counts.
constexpr int settleMs = 50;
// A compositor that activates windows faster than this is followed at this pace.
constexpr int minEmissionIntervalMs = 100;

} // namespace

class WlrootsAppMonitor::Private {
public:
    explicit Private(WlrootsAppMonitor* monitor)
        : q(monitor)
    {}

    void connectWatcher();
    void onEvents();
    void emitSoon();
    void emitNow();
    void loseCompositor();

    WlrootsAppMonitor* q;
    std::unique_ptr<ToplevelWatcher> watcher;
    std::unique_ptr<QSocketNotifier> notifier;
    AppIdentityResolver identity;
    QTimer poll;
    QTimer settle;
    QTimer pace;
    bool pending = false;
    bool running = false;
};

void WlrootsAppMonitor::Private::connectWatcher()
{
    watcher = std::make_unique<ToplevelWatcher>();
    if (watcher->status() != ToplevelWatcher::Status::watching)
        return;
    notifier = std::make_unique<QSocketNotifier>(watcher->fileDescriptor(), QSocketNotifier::Read);
    notifier->setEnabled(running);
    connect(notifier.get(), &QSocketNotifier::activated, q, [this] { onEvents(); });
}

void WlrootsAppMonitor::Private::onEvents()
{
    const bool changed = watcher->takeEvents();
    if (watcher->status() != ToplevelWatcher::Status::watching) {
        loseCompositor();
        return;
    }
    if (!changed || !running)
        return;
    // On its way from one window to the next a compositor may first deactivate the old one; that
    // step counts only when it lasts, so that moving between two windows of one AI tool does not
    // end its session.
    if (watcher->active().key == 0) {
        settle.start();
        return;
    }
    settle.stop();
    emitSoon();
}

// The first change is reported at once; a storm of them once per interval, with the latest.
void WlrootsAppMonitor::Private::emitSoon()
{
    if (pace.isActive()) {
        pending = true;
        return;
    }
    emitNow();
}

void WlrootsAppMonitor::Private::emitNow()
{
    pending = false;
    pace.start();
    q->emitCurrentSnapshot();
}

// The socket notifier that reported the loss may be the one being served: it is disabled, so it
// no longer watches the socket that closes with the watcher, and deleted on the next turn of the
// event loop.
void WlrootsAppMonitor::Private::loseCompositor()
{
    std::fputs("Kelvo lost its connection to the Wayland compositor; no AI use is recorded until "
               "it is back.\n",
               stderr);
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
    watcher.reset();
    settle.stop();
    pending = false;
    if (running)
        q->emitCurrentSnapshot();
}

WlrootsAppMonitor::WlrootsAppMonitor(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    d->poll.setInterval(pollIntervalMs);
    connect(&d->poll, &QTimer::timeout, this, [this] {
        d->identity.dispatchPendingChanges();
        if (!d->notifier) // the compositor went away; perhaps it is back
            d->connectWatcher();
        emitCurrentSnapshot();
    });
    d->settle.setSingleShot(true);
    d->settle.setInterval(settleMs);
    connect(&d->settle, &QTimer::timeout, this, [this] { d->emitSoon(); });
    d->pace.setSingleShot(true);
    d->pace.setInterval(minEmissionIntervalMs);
    connect(&d->pace, &QTimer::timeout, this, [this] {
        if (d->pending && d->running)
            d->emitNow();
    });
    d->connectWatcher();
}

WlrootsAppMonitor::~WlrootsAppMonitor() = default;

WlrootsAppMonitor::Availability WlrootsAppMonitor::availability() const
{
    switch (d->watcher ? d->watcher->status() : ToplevelWatcher::Status::lost) {
    case ToplevelWatcher::Status::watching:
        return Availability::watching;
    case ToplevelWatcher::Status::noToplevelManager:
        return Availability::noToplevelManager;
    case ToplevelWatcher::Status::noCompositor:
    case ToplevelWatcher::Status::lost:
        break;
    }
    return Availability::noCompositor;
}

void WlrootsAppMonitor::start()
{
    stop();
    d->running = true;
    if (d->notifier)
        d->notifier->setEnabled(true);
    d->poll.start();
    // What arrived while stopped is read now, so that the snapshot below is current.
    if (d->notifier) {
        d->watcher->takeEvents();
        if (d->watcher->status() != ToplevelWatcher::Status::watching) {
            d->loseCompositor();
            return;
        }
    }
    emitCurrentSnapshot();
}

void WlrootsAppMonitor::stop()
{
    d->running = false;
    d->pending = false;
    d->poll.stop();
    d->settle.stop();
    d->pace.stop();
    if (d->notifier)
        d->notifier->setEnabled(false);
}

FrontmostAppSnapshot WlrootsAppMonitor::currentSnapshot()
{
    if (!d->watcher || d->watcher->status() != ToplevelWatcher::Status::watching)
        return {};
    const ActiveToplevel& active = d->watcher->active();
    if (active.key == 0)
        return {};
    return d->identity.resolve(toplevelFacts(active.key, active.appId));
}

} // namespace kelvo
