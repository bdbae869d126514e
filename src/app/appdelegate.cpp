#include "appdelegate.h"

#include "desktopsurfaces.h"
#include "engine/appstate.h"
#include "engine/browserdetector.h"
#include "engine/clock.h"
#include "model/persistencestore.h"
#include "model/privatefiles.h"
#include "platform/browser/tabfilereader.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "platform/dbus/sessionpresence.h"
#include "platform/x11/foregroundsession.h"
#include "platform/x11/x11appmonitor.h"

#include <QFileInfo>
#include <QProcessEnvironment>

#include <cstdio>

namespace kelvo {

namespace {

void writeLine(const char* line)
{
    std::fputs(line, stderr);
    std::fputc('\n', stderr);
}

} // namespace

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent)
{}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

bool AppDelegate::applicationDidFinishLaunching()
{
    m_clock = std::make_unique<SystemClock>();
    m_store = std::make_unique<PersistenceStore>();

    // One program per state folder: a lock file beside state.json. A lock left by a program
    // that died is taken over; a live one never goes stale, however old (stale time 0).
    const QString folder = QFileInfo(m_store->locations().fileName).path();
    QString error;
    PrivateFiles::ensureFolder(folder, &error);
    m_instanceLock =
        std::make_unique<QLockFile>(m_store->locations().fileName + QStringLiteral(".lock"));
    m_instanceLock->setStaleLockTime(0);
    if (!m_instanceLock->tryLock(0) && m_instanceLock->error() == QLockFile::LockFailedError) {
        writeLine("Kelvo is already running");
        return false;
    }

    m_appMonitor = makeAppMonitor();
    m_notificationService = std::make_unique<FreedesktopNotificationService>();
    m_tabReader = std::make_unique<TabFileReader>();
    m_browserDetector = std::make_unique<BrowserAIContextDetector>(*m_tabReader);
    m_surfaces = std::make_unique<DesktopSurfaces>(*m_clock);
    m_appState = std::make_unique<AppState>(*m_store, *m_appMonitor, *m_notificationService,
                                            *m_browserDetector, *m_surfaces, *m_clock);
    m_surfaces->setEngine(m_appState.get());
    connect(m_appState.get(), &AppState::quitRequested, this, &AppDelegate::quitRequested);

    m_sessionPresence = std::make_unique<SessionPresence>();
    connect(m_sessionPresence.get(), &SessionPresence::awayChanged, m_appState.get(),
            &AppState::setUserAway);

    m_appState->start();
    m_running = true;
    // A browser that reports another tab while it stays in front is answered at once, not at
    // the next poll.
    connect(m_tabReader.get(), &TabFileReader::tabsChanged, this, [this] {
        if (m_running)
            m_appMonitor->emitCurrentSnapshot();
    });
    if (m_sessionPresence->isAway())
        m_appState->setUserAway(true);
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (!m_running)
        return;
    m_running = false;
    m_appState->stop();
}

std::unique_ptr<AppMonitor> AppDelegate::makeAppMonitor()
{
    if (isWaylandSession(QProcessEnvironment::systemEnvironment())) {
        writeLine(waylandForegroundNotice);
        return std::make_unique<NullAppMonitor>();
    }
    auto monitor = std::make_unique<X11AppMonitor>();
    if (!monitor->isConnected()) {
        writeLine("Kelvo cannot open the X display; no AI use will be recorded.");
        return std::make_unique<NullAppMonitor>();
    }
    // Without a display there is nothing left to watch: store the open session and end.
    connect(monitor.get(), &X11AppMonitor::displayLost, this, &AppDelegate::quitRequested);
    return monitor;
}

} // namespace kelvo
