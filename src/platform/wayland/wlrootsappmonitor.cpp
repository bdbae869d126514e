#include "wlrootsappmonitor.h"

#include "platform/activationpacer.h"
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
    void loseCompositor();

    WlrootsAppMonitor* q;
    std::unique_ptr<ToplevelWatcher> watcher;
    std::unique_ptr<QSocketNotifier> notifier;
    AppIdentityResolver identity;
    QTimer poll;
    ActivationPacer pacer{settleMs, minEmissionIntervalMs, [this] {
                              q->emitCurrentSnapshot();
                          }};
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
    if (watcher->active().key == 0)
        pacer.noWindow();
    else
        pacer.windowInFront();
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
    pacer.stop();
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
    d->poll.stop();
    d->pacer.stop();
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
