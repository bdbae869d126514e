// Kelvo: keeps your own judgement ahead of AI tools. The program takes no arguments besides
// --help and --version; it lives in the tray and keeps its state in one file (see
// PersistenceStore).

#include "appdelegate.h"
#include "commandline.h"
#include "platform/x11/foregroundsession.h"
#include "unixsignals.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<kelvo::AppDelegate*> runningDelegate = nullptr;
pid_t programPid = 0;
std::recursive_mutex storing;

// Stores the open session, once, whichever way the program ends. Another thread ending the
// program meanwhile waits until the session is stored, rather than ending it mid-save.
void storeOnce()
{
    const std::lock_guard lock(storing);
    if (kelvo::AppDelegate* delegate = runningDelegate.exchange(nullptr))
        delegate->applicationWillTerminate();
}

// The engine belongs to the main thread: from another thread the work is handed to it. Qt's Wayland
// event thread may end the program while the main thread waits on a lock that thread holds; when
// the main thread has not taken the work within half a second, it is done here.
void storeOpenSession()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!runningDelegate.load() || !application ||
        QThread::currentThread() == application->thread()) {
        storeOnce();
        return;
    }
    // Shared: the main thread may come to the work after this thread has done it and gone on.
    struct Handover {
        enum : int { waiting, takenByMainThread, takenHere };
        std::atomic<int> state = waiting;
        QSemaphore done;
    };
    const auto handover = std::make_shared<Handover>();
    QMetaObject::invokeMethod(
        application,
        [handover] {
            int expected = Handover::waiting;
            if (handover->state.compare_exchange_strong(expected, Handover::takenByMainThread)) {
                storeOnce();
                handover->done.release();
            }
        },
        Qt::QueuedConnection);
    if (handover->done.tryAcquire(1, 500))
        return;
    int expected = Handover::waiting;
    if (handover->state.compare_exchange_strong(expected, Handover::takenHere))
        storeOnce();
    else // the main thread is storing: the program ends once it has
        handover->done.tryAcquire(1, 5000);
}

} // namespace

// Qt's Wayland platform ends the process with _exit(1) when the compositor goes away, which runs
// no exit handler. This _exit, which the program exports in place of the C library's, stores the
// open session first. A child that the program forked leaves at once.
extern "C" [[noreturn]] void _exit(int status)
{
    if (getpid() == programPid)
        storeOpenSession();
    syscall(SYS_exit_group, status);
    __builtin_unreachable();
}

namespace {

// Qt aborts when it finds no display to open; the platforms that need none count as one.
bool hasGraphicalSession()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(':').value(0);
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || platform == "offscreen" ||
           platform == "minimal";
}

// Under a Wayland session Kelvo's windows go through XWayland where it is there, where the
// widget's keep-above and all-desktops hints hold; without XWayland Qt's own Wayland platform
// serves. A platform that the user chose stays.
void choosePlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        kelvo::isWaylandSession(QProcessEnvironment::systemEnvironment()))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char* argv[])
{
    if (const auto status = kelvo::handleCommandLine(argc, argv, stdout, stderr))
        return *status;
    // Before anything touches the state.
    if (!hasGraphicalSession()) {
        std::fputs("Kelvo needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n",
                   stderr);
        return EXIT_FAILURE;
    }
    choosePlatform();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvo"));
    QApplication::setDesktopFileName(QStringLiteral("kelvo"));
    // Kelvo lives in the tray: closing its windows does not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Installed before the engine starts, which may already open a session: a signal that
    // arrives before the event loop runs waits in the signal pipe and still ends Kelvo cleanly.
    kelvo::UnixSignals unixSignals;
    QObject::connect(&unixSignals, &kelvo::UnixSignals::terminationRequested, &application,
                     &QCoreApplication::quit);

    kelvo::AppDelegate delegate;
    switch (delegate.applicationDidFinishLaunching()) {
    case kelvo::AppDelegate::Launch::started:
        break;
    case kelvo::AppDelegate::Launch::alreadyRunning:
        return EXIT_SUCCESS;
    case kelvo::AppDelegate::Launch::failed:
        return EXIT_FAILURE;
    }
    programPid = getpid();
    runningDelegate = &delegate;
    // Qt ends the process with exit() when its X11 connection breaks; the open session is still
    // stored on the way out.
    std::atexit(storeOpenSession);
    QObject::connect(&delegate, &kelvo::AppDelegate::quitRequested, &application,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    // A session logout ends Kelvo like Quit does.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &application,
                     &QCoreApplication::quit);

    application.exec();
    delegate.applicationWillTerminate();
    runningDelegate = nullptr;
    return 0;
}
