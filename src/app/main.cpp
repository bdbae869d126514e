// Kelvo: keeps your own judgement ahead of AI tools. The program takes no arguments besides
// --help and --version; it lives in the tray and keeps its state in one file (see
// PersistenceStore).

#include "appdelegate.h"
#include "commandline.h"
#include "unixsignals.h"

#include <QApplication>

#include <cstdlib>

namespace {

kelvo::AppDelegate* runningDelegate = nullptr;

// Qt ends the process with exit() when its X11 connection breaks; the open session is still
// stored on the way out.
void storeOnExit()
{
    if (runningDelegate)
        runningDelegate->applicationWillTerminate();
}

} // namespace

int main(int argc, char* argv[])
{
    if (const auto status = kelvo::handleCommandLine(argc, argv, stdout, stderr))
        return *status;
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
    if (!delegate.applicationDidFinishLaunching())
        return 0;
    runningDelegate = &delegate;
    std::atexit(storeOnExit);
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
