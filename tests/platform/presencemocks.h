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
        const QString config = m_dir.filePath(u"bus.conf"_s);
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(
                u"<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                "<auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
                "</policy></busconfig>"_s.arg(m_dir.path())
                    .toUtf8());
            file.close();
        }
        m_daemon.setChildProcessModifier(dieWithTest);
        m_daemon.start(u"dbus-daemon"_s,
                       {u"--nofork"_s, u"--print-address=1"_s, u"--config-file="_s + config});
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
        const bool owned = QTest::qWaitFor(
            [this] {
                return m_process.state() == QProcess::NotRunning ||
                       m_control.interface()->isServiceRegistered(m_name).value();
            },
            mockTimeoutMs);
        return owned && m_process.state() == QProcess::Running;
    }
    bool waitForLog(const QString& text)
    {
        return QTest::qWaitFor(
            [this, &text] {
                m_log += m_process.readAllStandardOutput();
                return m_log.contains(text.toUtf8());
            },
            mockTimeoutMs);
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {})
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

// hintInvalidated*: LockedHint changes, and PropertiesChanged names it without its value.
enum class Cause {
    sleep,
    wake,
    lock,
    unlock,
    hintOn,
    hintOff,
    hintInvalidatedOn,
    hintInvalidatedOff,
    freedesktopOn,
    freedesktopOff,
    gnomeOn,
    gnomeOff,
    logindQuits,
    freedesktopQuits,
    gnomeQuits
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
        m_logind.start(m_system, logind, {u"--template"_s, u"logind"_s});
        m_freedesktop.start(m_session, freedesktopSaver,
                            {freedesktopSaver, m_saverPath, freedesktopSaver});
        m_gnome.start(m_session, gnomeSaver, {gnomeSaver, u"/org/gnome/ScreenSaver"_s, gnomeSaver});
        for (DBusMock* mock : {&m_logind, &m_freedesktop, &m_gnome}) {
            if (!mock->waitUntilOwned())
                return fail(u"a mock service did not start: "_s + mock->errors());
        }
        return addSession(u"c1"_s) &&
               addSaverMethods(m_freedesktop, m_saverPath, freedesktopSaver) &&
               addSaverMethods(m_gnome, u"/org/gnome/ScreenSaver"_s, gnomeSaver);
    }

    // Once every service has been asked for its state, every signal reaches the watcher.
    bool waitUntilWatched()
    {
        return (m_logind.waitForLog(u"Get "_s + sessionPath(u"c1"_s) + u' ' + sessionInterface +
                                    u".LockedHint"_s) ||
                fail(u"LockedHint of c1 was never read"_s)) &&
               (m_freedesktop.waitForLog(u"GetActive"_s) || fail(u"no freedesktop GetActive"_s)) &&
               (m_gnome.waitForLog(u"GetActive"_s) || fail(u"no gnome GetActive"_s));
    }

    bool apply(Cause cause)
    {
        using enum Cause;
        switch (cause) {
        case sleep:
        case wake:
            return setProperty(m_logind, managerPath, managerInterface, u"PreparingForSleep"_s,
                               cause == sleep) &&
                   emitSignal(m_logind, managerPath, managerInterface, u"PrepareForSleep"_s, u"b"_s,
                              {cause == sleep});
        case lock:
        case unlock:
            return ok(m_logind.call(sessionPath(u"c1"_s), sessionInterface,
                                    cause == lock ? u"Lock"_s : u"Unlock"_s));
        case hintOn:
        case hintOff:
            return setLockedHint(u"c1"_s, cause == hintOn);
        case hintInvalidatedOn:
        case hintInvalidatedOff:
            return setProperty(m_logind, sessionPath(u"c1"_s), sessionInterface, u"LockedHint"_s,
                               cause == hintInvalidatedOn) &&
                   emitSignal(m_logind, sessionPath(u"c1"_s), u"org.freedesktop.DBus.Properties"_s,
                              u"PropertiesChanged"_s, u"sa{sv}as"_s,
                              {sessionInterface, QVariantMap(), QStringList{u"LockedHint"_s}});
        case freedesktopOn:
        case freedesktopOff:
            return ok(m_freedesktop.call(m_saverPath, freedesktopSaver, u"SetActive"_s,
                                         {cause == freedesktopOn}));
        case gnomeOn:
        case gnomeOff:
            return ok(m_gnome.call(u"/org/gnome/ScreenSaver"_s, gnomeSaver, u"SetActive"_s,
                                   {cause == gnomeOn}));
        case logindQuits:
            m_logind.quit();
            return true;
        case freedesktopQuits:
            m_freedesktop.quit();
            return true;
        case gnomeQuits:
            m_gnome.quit();
            return true;
        }
        return false;
    }

    // Returns once the watcher's connections have handed over every message that reached them.
    bool flush() { return flush(m_systemBus) && flush(m_sessionBus); }

    bool addLockedSession(const QString& id) { return addSession(id) && setLockedHint(id, true); }
    bool answerSessionByPid(pid_t pid, const QString& id)
    {
        const QString code = u"if args[0] != %1:\n"
                             "    raise dbus.exceptions.DBusException('no session', "
                             "name='org.freedesktop.login1.NoSessionForPID')\n"
                             "ret = '%2'"_s.arg(pid)
                                 .arg(sessionPath(id));
        return ok(m_logind.call(managerPath, mockInterface, u"AddMethod"_s,
                                {managerInterface, u"GetSessionByPID"_s, u"u"_s, u"o"_s, code}));
    }
    // The object ".../session/auto" stands for session `id`, and is itself locked.
    bool addAutoSession(const QString& id)
    {
        return addLockedSession(u"auto"_s) &&
               ok(m_logind.call(
                   sessionPath(u"auto"_s), u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
                   {sessionInterface, u"Id"_s, QVariant::fromValue(QDBusVariant(id))}));
    }

    QString failure() const { return m_failure; }

private:
    inline static const QString logind = u"org.freedesktop.login1"_s;
    inline static const QString managerPath = u"/org/freedesktop/login1"_s;
    inline static const QString managerInterface = u"org.freedesktop.login1.Manager"_s;
    inline static const QString sessionInterface = u"org.freedesktop.login1.Session"_s;
    inline static const QString mockInterface = u"org.freedesktop.DBus.Mock"_s;
    inline static const QString freedesktopSaver = u"org.freedesktop.ScreenSaver"_s;
    inline static const QString gnomeSaver = u"org.gnome.ScreenSaver"_s;

    static QString sessionPath(const QString& id)
    {
        return u"/org/freedesktop/login1/session/"_s + id;
    }

    bool fail(const QString& text)
    {
        m_failure = text;
        return false;
    }
    bool ok(const QDBusMessage& reply)
    {
        return reply.type() == QDBusMessage::ReplyMessage || fail(reply.errorMessage());
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
    bool setProperty(DBusMock& mock, const QString& path, const QString& interface,
                     const QString& name, bool value)
    {
        return ok(mock.call(path, u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
                            {interface, name, QVariant::fromValue(QDBusVariant(value))}));
    }
    bool emitSignal(DBusMock& mock, const QString& path, const QString& interface,
                    const QString& name, const QString& signature, const QVariantList& arguments)
    {
        return ok(mock.call(path, mockInterface, u"EmitSignal"_s,
                            {interface, name, signature, arguments}));
    }
    // GetActive, and SetActive for the test: it stores the state and sends ActiveChanged.
    bool addSaverMethods(DBusMock& mock, const QString& path, const QString& interface)
    {
        const QString setActive =
            u"self.kelvo_active = args[0]\n"
            "self.EmitSignal('%1', 'ActiveChanged', 'b', [args[0]])"_s.arg(interface);
        return ok(mock.call(path, mockInterface, u"AddMethod"_s,
                            {interface, u"GetActive"_s, QString(), u"b"_s,
                             u"ret = getattr(self, 'kelvo_active', False)"_s})) &&
               ok(mock.call(path, mockInterface, u"AddMethod"_s,
                            {interface, u"SetActive"_s, u"b"_s, QString(), setActive}));
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
    QString m_failure;
};
