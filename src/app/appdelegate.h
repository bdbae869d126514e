#pragma once

#include <QLockFile>
#include <QObject>

#include <memory>

namespace kelvo {

class AppMonitor;
class AppState;
class BrowserAIContextDetector;
class DesktopSurfaces;
class FreedesktopNotificationService;
class PersistenceStore;
class SessionPresence;
class SystemClock;
class TabFileReader;

// Builds the engine with its collaborators, starts it, and stops it when the program ends.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    enum class Launch { started, alreadyRunning, failed };

    // Builds and starts the engine. Nothing is started when another Kelvo already runs on the
    // same state folder, nor when the state folder or its lock cannot be had (said on standard
    // error).
    Launch applicationDidFinishLaunching();
    // Stores the open session and saves; does nothing the second time.
    void applicationWillTerminate();

signals:
    // The user chose Quit, a termination signal arrived, or the display went away.
    void quitRequested();

private:
    Launch takeInstanceLock();

    std::unique_ptr<SystemClock> m_clock;
    std::unique_ptr<PersistenceStore> m_store;
    std::unique_ptr<QLockFile> m_instanceLock;
    std::unique_ptr<AppMonitor> m_appMonitor;
    std::unique_ptr<FreedesktopNotificationService> m_notificationService;
    std::unique_ptr<TabFileReader> m_tabReader;
    std::unique_ptr<BrowserAIContextDetector> m_browserDetector;
    std::unique_ptr<DesktopSurfaces> m_surfaces;
    std::unique_ptr<SessionPresence> m_sessionPresence;
    std::unique_ptr<AppState> m_appState;
    bool m_running = false;
};

} // namespace kelvo
