// The CPU cost of one foreground observation: Kelvo's monitor in-process (X11 round trips and
// the cached identity) against one run of `xdotool getactivewindow getwindowclassname`. Prints
// medians; asserts nothing. Run on a desktop of its own (make bench runs it inside
// tests/support/desktop.sh --display --home), it puts a window in front that a desktop entry of
// its own names; on another display it observes whatever is in front.

#include "platform/x11/x11appmonitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int observations = 2000;
constexpr int xdotoolRuns = 40;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double nowUs(clockid_t clock)
{
    timespec time{};
    clock_gettime(clock, &time);
    return double(time.tv_sec) * 1e6 + double(time.tv_nsec) / 1e3;
}

double cpuUs(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

bool runQuietly(const QStringList& xdotoolArguments)
{
    QProcess xdotool;
    xdotool.start(u"xdotool"_s, xdotoolArguments);
    return xdotool.waitForFinished(5000) && xdotool.exitStatus() == QProcess::NormalExit &&
           xdotool.exitCode() == 0;
}

// On the benchmark's own desktop (tests/support/desktop.sh): an xmessage window named "chatgpt"
// in front, which the desktop entry chatgpt.desktop (Name=ChatGPT) identifies.
class BenchWindow final {
public:
    bool start()
    {
        const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + u"/applications"_s;
        QDir().mkpath(applications);
        QFile entry(applications + u"/chatgpt.desktop"_s);
        if (!entry.open(QIODevice::WriteOnly) ||
            entry.write("[Desktop Entry]\nType=Application\nName=ChatGPT\nExec=true\n") <= 0)
            return false;
        entry.close();
        m_window.start(u"xmessage"_s, {u"-name"_s, u"chatgpt"_s, u"Kelvo benchmark"_s});
        // Until the window is mapped, the activation is retried.
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (runQuietly({u"search"_s, u"--classname"_s, u"chatgpt"_s, u"windowactivate"_s,
                            u"--sync"_s}))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    ~BenchWindow()
    {
        m_window.terminate();
        m_window.waitForFinished(3000);
    }

private:
    QProcess m_window;
};

// Median CPU time (user + system) of one xdotool run, from the child's own resource usage.
double xdotoolCpuUs(const char* command)
{
    std::vector<double> cpu;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("xdotool"), const_cast<char*>("getactivewindow"),
                    const_cast<char*>(command), nullptr};
    for (int run = 0; run < xdotoolRuns; ++run) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "xdotool", &actions, nullptr, argv, environ) != 0)
            break;
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            cpu.push_back(cpuUs(usage));
    }
    posix_spawn_file_actions_destroy(&actions);
    return median(cpu);
}

struct Observations {
    double cpuUs = 0;
    double wallUs = 0;
    FrontmostAppSnapshot seen;
};

// Median CPU and wall time of one emission, the window's identity already resolved.
Observations observe(X11AppMonitor& monitor)
{
    Observations result;
    monitor.setOnPoll([&result](const FrontmostAppSnapshot& snapshot) { result.seen = snapshot; });
    monitor.emitCurrentSnapshot();
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < observations; ++i) {
        const double cpuStart = nowUs(CLOCK_THREAD_CPUTIME_ID);
        const double wallStart = nowUs(CLOCK_MONOTONIC);
        monitor.emitCurrentSnapshot();
        cpu.push_back(nowUs(CLOCK_THREAD_CPUTIME_ID) - cpuStart);
        wall.push_back(nowUs(CLOCK_MONOTONIC) - wallStart);
    }
    result.cpuUs = median(cpu);
    result.wallUs = median(wall);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchWindow window;
    const bool ownDisplay = !qEnvironmentVariableIsEmpty("KELVO_DESKTOP_DIR");
    if (ownDisplay && !window.start()) {
        std::fprintf(stderr, "bench_foreground: could not put an xmessage window in front\n");
        return 0;
    }
    X11AppMonitor monitor;
    if (!monitor.isConnected()) {
        std::fprintf(stderr, "bench_foreground: cannot connect to the X display\n");
        return 0;
    }
    const Observations kelvo = observe(monitor);
    // xdotool before 3.2021 (Debian 12's) has no getwindowclassname; getwindowname is the
    // nearest query it has, one property read like the class name.
    const char* command = runQuietly({u"getactivewindow"_s, u"getwindowclassname"_s})
                              ? "getwindowclassname"
                              : "getwindowname";
    const double xdotool = xdotoolCpuUs(command);

    std::printf("Foreground observation, CPU time, median (%s display; in front: %s / %s)\n",
                ownDisplay ? "private Xvfb" : "current",
                qPrintable(kelvo.seen.bundleIdentifier.value_or(u"-"_s)),
                qPrintable(kelvo.seen.localizedName.value_or(u"-"_s)));
    std::printf("  Kelvo, in-process, %d observations:  %8.1f us CPU (%.1f us wall)\n",
                observations, kelvo.cpuUs, kelvo.wallUs);
    if (xdotool <= 0) {
        std::printf("  xdotool: not available, no comparison\n");
        return 0;
    }
    std::printf("  xdotool getactivewindow %s, %d runs:  %8.1f us CPU\n", command, xdotoolRuns,
                xdotool);
    std::printf("  ratio: %.0fx cheaper (goal: at least 100x)\n",
                xdotool / std::max(kelvo.cpuUs, 0.1));
    return 0;
}
