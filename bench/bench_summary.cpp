// The summary window and the desktop widget in the real program's parts, on a display of their
// own, with a busy history of 18,000 sessions: the first opening of the summary window from the
// command to its first painted frame, a refresh while it is open, the CPU used while idle with
// the widget and the window on screen (KELVO_BENCH_IDLE_SECONDS, default 300), and the peak
// resident memory with the part of it that is font files. Prints the figures; asserts nothing.

#include "app/desktopsurfaces.h"
#include "busystate.h"
#include "engine/appmonitor.h"
#include "engine/appstate.h"
#include "engine/browserdetector.h"
#include "engine/clock.h"
#include "model/persistencestore.h"
#include "platform/browser/tabfilereader.h"
#include "platform/dbus/freedesktopnotifications.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <cstdio>

using namespace kelvo;

namespace {

// Waits for the first paint of a top-level window whose title is `title`.
class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QString title)
        : m_title(std::move(title))
    {}
    bool painted = false;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const auto* widget = qobject_cast<QWidget*>(object);
            painted = painted || (widget && widget->isWindow() && widget->windowTitle() == m_title);
        }
        return false;
    }

private:
    QString m_title;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in KiB.
qint64 statusKiB(const QByteArray& field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Resident KiB of the mapped font files (.ttf, .ttc, .otf) and fontconfig caches.
qint64 fontResidentKiB()
{
    QFile file(QStringLiteral("/proc/self/smaps"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = 0;
    bool font = false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        // A mapping's header line starts with its address range; its fields start with "Name:".
        if (!line.left(line.indexOf(' ')).endsWith(':')) {
            const QByteArray path = line.simplified().split(' ').last();
            font = path.endsWith(".ttf") || path.endsWith(".ttc") || path.endsWith(".otf") ||
                   path.endsWith("cache-8");
        } else if (font && line.startsWith("Rss:")) {
            total += line.mid(4).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    // The busy state is written by a process of its own, so that building it is not counted in
    // this one's memory: the program finds it stored, as after a long time of use.
    if (argc == 2 && qstrcmp(argv[1], "--write-state") == 0) {
        PersistenceStore().save(bench::fullState(SystemClock().now()));
        return 0;
    }
    if (QProcess::execute(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--write-state")}) != 0)
        return 1;

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SystemClock clock;
    PersistenceStore store;

    const auto resident = [](const char* when) {
        std::printf("resident %-39s %8.1f MiB\n", when, double(statusKiB("VmRSS")) / 1024);
    };
    resident("with Qt started");
    NullAppMonitor monitor;
    FreedesktopNotificationService notifications;
    TabFileReader tabs;
    BrowserAIContextDetector detector(tabs);
    DesktopSurfaces surfaces(clock);
    AppState engine(store, monitor, notifications, detector, surfaces, clock);
    surfaces.setEngine(&engine);
    resident("with the state loaded");
    engine.start();
    engine.setDesktopWidgetEnabled(true);
    QApplication::processEvents();
    resident("with the tray and the widget");

    FirstPaint firstPaint(QStringLiteral("Kelvo 总结"));
    application.installEventFilter(&firstPaint);
    QElapsedTimer timer;
    timer.start();
    engine.sendManualDailySummary();
    while (!firstPaint.painted && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("summary window, first opening to first paint   %8.1f ms%s\n",
                double(timer.nsecsElapsed()) / 1e6, firstPaint.painted ? "" : " (never painted)");
    application.removeEventFilter(&firstPaint);
    resident("with the summary window too");

    const double refresh = bench::medianMs([&] { surfaces.refreshSummaryWindow(); });
    std::printf("summary window, refresh while open (median)    %8.2f ms\n", refresh);

    const int idleSeconds = qEnvironmentVariableIsSet("KELVO_BENCH_IDLE_SECONDS")
                                ? qEnvironmentVariableIntValue("KELVO_BENCH_IDLE_SECONDS")
                                : 300;
    const double cpuBefore = cpuSeconds();
    QTimer::singleShot(idleSeconds * 1000, &application, &QCoreApplication::quit);
    application.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("idle with the widget and the window, %d s       %8.3f %% of a core\n", idleSeconds,
                100.0 * cpu / qMax(idleSeconds, 1));
    std::printf("peak resident memory                           %8.1f MiB\n",
                double(statusKiB("VmHWM")) / 1024);
    std::printf("  of it font files and font caches (resident)  %8.1f MiB\n",
                double(fontResidentKiB()) / 1024);
    engine.stop();
    return 0;
}
