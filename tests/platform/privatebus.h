#pragma once

#include <QtDBus>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// Generous: a loaded 2-core machine starts daemons and Python slowly.
constexpr int busTimeoutMs = 20000;

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Starts `program`, which dies with the test, with `bus` as its system and session bus.
inline void startChild(QProcess& process, const QString& program, const QStringList& arguments,
                       const QString& bus = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, bus);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus);
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

// Sends this process's standard error to a file for as long as it lives.
class StderrCapture final {
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    QString text() const { return QString::fromUtf8(readFile(m_file.fileName())); }

private:
    QTemporaryFile m_file;
    int m_saved = dup(STDERR_FILENO);
};

// A bus daemon of the test's own, stopped with it.
class PrivateBus final {
public:
    // With `failingService`, that name is activatable, but its program fails to start.
    explicit PrivateBus(const QString& failingService = {})
    {
        if (!failingService.isEmpty())
            writeFile(m_dir.filePath(u"failing.service"_s),
                      "[D-BUS Service]\nName=" + failingService.toUtf8() + "\nExec=/bin/false\n");
        const QString config = m_dir.filePath(u"bus.conf"_s);
        writeFile(config, u"<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                          "<servicedir>%1</servicedir><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow own=\"*\"/>"
                          "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                          "</policy></busconfig>"_s.arg(m_dir.path())
                              .toUtf8());
        startChild(m_daemon, u"dbus-daemon"_s,
                   {u"--nofork"_s, u"--print-address=1"_s, u"--config-file="_s + config});
        if (m_daemon.waitForReadyRead(busTimeoutMs))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    QDBusConnection connect()
    {
        static int counter = 0;
        return QDBusConnection::connectToBus(address, u"kelvo-test-%1"_s.arg(++counter));
    }

    QString address; // empty if the daemon did not start

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

// Returns once `bus` has handed over every message that reached it before: replies and signals
// reach the receiver in the order of arrival.
inline bool flush(const QDBusConnection& bus)
{
    const QDBusMessage ping =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
    QDBusPendingCallWatcher watcher(bus.asyncCall(ping, busTimeoutMs));
    bool done = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&done] { done = true; });
    return QTest::qWaitFor([&done] { return done; }, busTimeoutMs);
}
