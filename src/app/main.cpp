// Kelvo: keeps your own judgement ahead of AI tools. The program takes no arguments besides
// --help and --version; it lives in the tray and keeps its state in one file (see
// PersistenceStore).

#include "appdelegate.h"
#include "commandline.h"
#include "unixsignals.h"

#include <QApplication>

#include <cstdio>
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

// Qt aborts when it finds no display to open; the platforms that need none count as one.
bool hasGraphicalSession()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(':').value(0);
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || platform == "offscreen" ||
           platform == "minimal";
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
