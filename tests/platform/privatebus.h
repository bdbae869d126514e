#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

// Generous: a loaded 2-core machine starts daemons and Python slowly.
constexpr int busTimeoutMs = 20000;

// Variables to set in a child's environment; a null value removes the variable.
using EnvChanges = QList<std::pair<QString, QString>>;

// Waits in the event loop until `done`; says what it gave up waiting for.
template <typename Done>
bool waitFor(Done done, const QString& what)
{
    if (QTest::qWaitFor(done, busTimeoutMs))
        return true;
    qWarning() << "gave up waiting for" << what;
    return false;
}

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

// Starts `program` with the test's environment plus `changes`; it dies with the test.
inline void startChild(QProcess& process, const QString& program, const QStringList& arguments,
                       const EnvChanges& changes = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : changes)
        value.isNull() ? env.remove(name) : env.insert(name, value);
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

// Runs this test program again with KELVO_TEST_CHILD set; false if it has not ended in time.
// Waits in the event loop, where the test's own servers may be answering the child.
inline bool runSelf(QProcess& child, EnvChanges changes)
{
    changes.append({u"KELVO_TEST_CHILD"_s, u"1"_s});
    startChild(child, QCoreApplication::applicationFilePath(), {}, changes);
    return waitFor([&child] { return child.state() == QProcess::NotRunning; }, u"the child"_s);
}

// main() of a test whose cases run the program again as a child that calls `child`.
template <typename Test>
int testMain(int argc, char** argv, int (*child)())
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("KELVO_TEST_CHILD"))
        return child();
    Test test;
    return QTest::qExec(&test, argc, argv);
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
        const QString services = m_dir.filePath(u"services"_s);
        QDir().mkpath(services);
        if (!failingService.isEmpty())
            writeFile(services + u"/failing.service"_s,
                      "[D-BUS Service]\nName=" + failingService.toUtf8() + "\nExec=/bin/false\n");
        const QString config = m_dir.filePath(u"bus.conf"_s);
        writeFile(config, u"<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                          "<servicedir>%2</servicedir><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow own=\"*\"/>"
                          "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                          "</policy></busconfig>"_s.arg(m_dir.path(), services)
                              .toUtf8());
        startChild(m_daemon, u"dbus-daemon"_s,
                   {u"--nofork"_s, u"--print-address=1"_s, u"--config-file="_s + config});
        if (m_daemon.waitForReadyRead(busTimeoutMs))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    QDBusConnection connect()
    {
        static int counter = 0;
        m_connections.append(u"kelvo-test-%1"_s.arg(++counter));
        return QDBusConnection::connectToBus(address, m_connections.constLast());
    }

    QString address; // empty if the daemon did not start

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QStringList m_connections;
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
    return waitFor([&done] { return done; }, u"a round trip"_s);
}
