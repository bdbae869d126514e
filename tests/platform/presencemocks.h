#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// Generous: a loaded 2-core machine starts Python slowly.
constexpr int mockTimeoutMs = 20000;

// Processes started here die with the test, however it ends.
inline void dieWithTest()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// A bus daemon of the test's own, with nothing activatable on it.
class TestBus final {
public:
    TestBus()
    {
        QFile config(m_dir.filePath(u"bus.conf"_s));
        if (config.open(QIODevice::WriteOnly)) {
            config.write(u"<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                         "<auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                         "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                         "</policy></busconfig>"_s.arg(m_dir.path())
                             .toUtf8());
            config.close();
        }
        m_daemon.setChildProcessModifier(dieWithTest);
        m_daemon.start(u"dbus-daemon"_s, {u"--nofork"_s, u"--print-address=1"_s,
                                          u"--config-file="_s + config.fileName()});
        if (m_daemon.waitForReadyRead(mockTimeoutMs))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~TestBus()
    {
        for (const QString& name : std::as_const(m_names))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    QDBusConnection connect()
    {
        static int counter = 0;
        m_names.append(u"presence-test-%1"_s.arg(++counter));
        return QDBusConnection::connectToBus(address, m_names.constLast());
    }

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QStringList m_names;
};

// One python3-dbusmock service; what it logs tells which calls reached it.
class DBusMock final {
public:
    ~DBusMock() { quit(); }

    void start(TestBus& bus, const QString& name, const QStringList& arguments)
    {
        m_name = name;
        m_control = bus.connect();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, bus.address);
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address);
        m_process.setProcessEnvironment(env);
        m_process.setChildProcessModifier(dieWithTest);
        // Debian's python3-dbusmock is installed for the system interpreter, which another
        // python3 earlier on PATH may not see.
        const QString python =
            QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
        m_process.start(python, QStringList{u"-m"_s, u"dbusmock"_s} + arguments);
    }
    bool waitUntilOwned()
    {
        return QTest::qWaitFor(
                   [this] {
                       return m_process.state() == QProcess::NotRunning ||
                              m_control.interface()->isServiceRegistered(m_name).value();
                   },
                   mockTimeoutMs) &&
               m_process.state() == QProcess::Running;
    }
    bool waitForLog(const QString& text)
    {
        const bool logged = QTest::qWaitFor(
            [this, &text] {
                m_log += m_process.readAllStandardOutput();
                return m_log.contains(text.toUtf8());
            },
            mockTimeoutMs);
        if (!logged)
            qWarning() << m_name << "never logged" << text;
        return logged;
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_name, path, interface, method);
        message.setArguments(arguments);
        return m_control.call(message, QDBus::Block, mockTimeoutMs);
    }
    void quit()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QString m_name;
    QDBusConnection m_control{QString()};
    QProcess m_process;
    QByteArray m_log;
};

enum class Cause {
    sleep,
    wake,
    lock,
    unlock,
    hintOn,
    hintOff,
    freedesktopOn,
    freedesktopOff,
    gnomeOn,
    gnomeOff,
    logindQuits,
    freedesktopQuits
};

// logind (with session c1 of this user) on a system bus, and both screensavers on a session
// bus, all mocked; the buses are the test's own.
class MockWorld final {
public:
    explicit MockWorld(const QString& freedesktopSaverPath)
        : m_saverPath(freedesktopSaverPath)
        , m_systemBus(m_system.connect())
        , m_sessionBus(m_session.connect())
    {}

    bool busesRunning() const { return m_systemBus.isConnected() && m_sessionBus.isConnected(); }
    // Connections for the watcher under test.
    QDBusConnection systemBus() const { return m_systemBus; }
    QDBusConnection sessionBus() const { return m_sessionBus; }

    bool startServices()
    {
        m_logind.start(m_system, u"org.freedesktop.login1"_s, {u"--template"_s, u"logind"_s});
        m_freedesktop.start(m_session, freedesktopSaver,
                            {freedesktopSaver, m_saverPath, freedesktopSaver});
        m_gnome.start(m_session, u"org.gnome.ScreenSaver"_s,
                      {u"--template"_s, u"gnome_screensaver"_s});
        for (DBusMock* mock : {&m_logind, &m_freedesktop, &m_gnome}) {
            if (!mock->waitUntilOwned()) {
                qWarning() << "a mock service did not start:" << mock->errors();
                return false;
            }
        }
        // GetActive and SetActive as gnome_screensaver has them.
        return addSession(u"c1"_s) &&
               ok(m_freedesktop.call(m_saverPath, mockInterface, u"AddMethod"_s,
                                     {freedesktopSaver, u"GetActive"_s, QString(), u"b"_s,
                                      u"ret = getattr(self, 'is_active', False)"_s})) &&
               ok(m_freedesktop.call(m_saverPath, mockInterface, u"AddMethod"_s,
                                     {freedesktopSaver, u"SetActive"_s, u"b"_s, QString(),
                                      u"self.is_active = args[0]\n"
                                      "self.EmitSignal('', 'ActiveChanged', 'b', args)"_s}));
    }

    // Once every service has been asked for its state, every signal reaches the watcher.
    bool waitUntilWatched()
    {
        return m_logind.waitForLog(u"Get "_s + sessionPath(u"c1"_s) + u' ' + sessionInterface +
                                   u".LockedHint"_s) &&
               m_freedesktop.waitForLog(u"GetActive"_s) && m_gnome.waitForLog(u"GetActive"_s);
    }

    bool apply(Cause cause)
    {
        using enum Cause;
        switch (cause) {
        case sleep:
        case wake:
            return setProperty(managerPath, managerInterface, u"PreparingForSleep"_s,
                               cause == sleep) &&
                   ok(m_logind.call(managerPath, mockInterface, u"EmitSignal"_s,
                                    {managerInterface, u"PrepareForSleep"_s, u"b"_s,
                                     QVariantList{cause == sleep}}));
        case lock:
        case unlock:
            return ok(m_logind.call(sessionPath(u"c1"_s), sessionInterface,
                                    cause == lock ? u"Lock"_s : u"Unlock"_s, {}));
        case hintOn:
        case hintOff:
            return setLockedHint(u"c1"_s, cause == hintOn);
        case freedesktopOn:
        case freedesktopOff:
            return ok(m_freedesktop.call(m_saverPath, freedesktopSaver, u"SetActive"_s,
                                         {cause == freedesktopOn}));
        case gnomeOn:
        case gnomeOff:
            return ok(m_gnome.call(u"/org/gnome/ScreenSaver"_s, u"org.gnome.ScreenSaver"_s,
                                   u"SetActive"_s, {cause == gnomeOn}));
        case logindQuits:
            m_logind.quit();
            return true;
        case freedesktopQuits:
            m_freedesktop.quit();
            return true;
        }
        return false;
    }

    // Returns once the watcher's connections have handed over every message that reached them.
    bool flush() { return flush(m_systemBus) && flush(m_sessionBus); }

    // Sessions c2 and ".../session/auto", both locked; "auto" stands for c1.
    bool addAutoSession()
    {
        return addSession(u"c2"_s) && setLockedHint(u"c2"_s, true) && addSession(u"auto"_s) &&
               setLockedHint(u"auto"_s, true) &&
               setProperty(sessionPath(u"auto"_s), sessionInterface, u"Id"_s, u"c1"_s);
    }

private:
    inline static const QString managerPath = u"/org/freedesktop/login1"_s;
    inline static const QString managerInterface = u"org.freedesktop.login1.Manager"_s;
    inline static const QString sessionInterface = u"org.freedesktop.login1.Session"_s;
    inline static const QString mockInterface = u"org.freedesktop.DBus.Mock"_s;
    inline static const QString freedesktopSaver = u"org.freedesktop.ScreenSaver"_s;

    static QString sessionPath(const QString& id)
    {
        return u"/org/freedesktop/login1/session/"_s + id;
    }

    static bool ok(const QDBusMessage& reply)
    {
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << "a mock service failed:" << reply.errorMessage();
        return reply.type() == QDBusMessage::ReplyMessage;
    }
    bool addSession(const QString& id)
    {
        return ok(m_logind.call(managerPath, mockInterface, u"AddSession"_s,
                                {id, u"seat0"_s, uint(getuid()), u"user"_s, true}));
    }
    bool setLockedHint(const QString& id, bool locked)
    {
        return ok(m_logind.call(sessionPath(id), sessionInterface, u"SetLockedHint"_s, {locked}));
    }
    bool setProperty(const QString& path, const QString& interface, const QString& name,
                     const QVariant& value)
    {
        return ok(m_logind.call(path, u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
                                {interface, name, QVariant::fromValue(QDBusVariant(value))}));
    }
    // Replies and signals reach the receiver's thread in the order of arrival.
    static bool flush(const QDBusConnection& bus)
    {
        const QDBusMessage ping =
            QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                           u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
        QDBusPendingCallWatcher watcher(bus.asyncCall(ping, mockTimeoutMs));
        bool done = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&done] { done = true; });
        return QTest::qWaitFor([&done] { return done; }, mockTimeoutMs);
    }

    const QString m_saverPath;
    TestBus m_system;
    TestBus m_session;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    DBusMock m_logind;
    DBusMock m_freedesktop;
    DBusMock m_gnome;
};
