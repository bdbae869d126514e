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
#include "platform/kde/kwinappmonitor.h"
#include "platform/x11/foregroundsession.h"
#include "platform/x11/x11appmonitor.h"

#include <QDir>
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

void writeLine(const QString& line)
{
    writeLine(line.toLocal8Bit().constData());
}

} // namespace

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent)
{}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

AppDelegate::Launch AppDelegate::applicationDidFinishLaunching()
{
    m_clock = std::make_unique<SystemClock>();
    m_store = std::make_unique<PersistenceStore>();
    if (const Launch launch = takeInstanceLock(); launch != Launch::started)
        return launch;

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
    return Launch::started;
}

// One program per state folder: a lock file beside state.json. A lock left by a program that
// died is taken over; a live one never goes stale, however old (stale time 0). Without the lock
// two programs could write one state file, so a lock that cannot be had for any other reason
// ends the program too.
AppDelegate::Launch AppDelegate::takeInstanceLock()
{
    const QString fileName = m_store->locations().fileName;
    const QString folder = QFileInfo(fileName).path();
    QString error;
    if (!PrivateFiles::ensureWritableFolder(folder, &error)) {
        writeLine(QStringLiteral("Kelvo cannot start: %1").arg(error));
        return Launch::failed;
    }
    const QString lockName = fileName + QStringLiteral(".lock");
    m_instanceLock = std::make_unique<QLockFile>(lockName);
    m_instanceLock->setStaleLockTime(0);
    if (m_instanceLock->tryLock(0))
        return Launch::started;
    if (m_instanceLock->error() == QLockFile::LockFailedError) {
        writeLine("Kelvo is already running");
        return Launch::alreadyRunning;
    }
    const QString reason = m_instanceLock->error() == QLockFile::PermissionError
                               ? QStringLiteral("permission denied")
                               : QStringLiteral("unknown error");
    writeLine(QStringLiteral("Kelvo cannot start: cannot take the lock %1: %2")
                  .arg(QDir::toNativeSeparators(lockName), reason));
    return Launch::failed;
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
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // KDE Plasma on Wayland: KWin runs a script of Kelvo's that reports each activation.
    if (isWaylandSession(environment) && KWinAppMonitor::isAvailable(environment))
        return std::make_unique<KWinAppMonitor>();
    if (isWaylandSession(environment)) {
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
