#pragma once

#include "privatebus.h"

#include <QDBusVariant>

#include <algorithm>

// One python3-dbusmock service; what it logs tells which calls reached it.
class DBusMock final {
public:
    ~DBusMock() { quit(); }

    void start(PrivateBus& bus, const QString& name, const QStringList& arguments)
    {
        m_name = name;
        m_control = bus.connect();
        // Debian's python3-dbusmock is installed for the system interpreter, which another
        // python3 earlier on PATH may not see.
        const QString python =
            QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
        startChild(m_process, python, QStringList{u"-m"_s, u"dbusmock"_s} + arguments,
                   {{u"DBUS_SYSTEM_BUS_ADDRESS"_s, bus.address},
                    {u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address}});
    }
    // Whether the service took its name; says why not.
    bool waitUntilOwned()
    {
        const auto settled = [this] {
            return m_process.state() == QProcess::NotRunning ||
                   m_control.interface()->isServiceRegistered(m_name).value();
        };
        if (waitFor(settled, m_name) && m_process.state() == QProcess::Running)
            return true;
        qWarning() << m_name << "did not start:" << m_process.readAllStandardError();
        return false;
    }
    bool waitForLog(const QString& text)
    {
        return waitFor(
            [this, &text] {
                m_log += m_process.readAllStandardOutput();
                return m_log.contains(text.toUtf8());
            },
            m_name + u" to log "_s + text);
    }
    // Whether the call succeeded; says why not.
    bool call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_name, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = m_control.call(message, QDBus::Block, busTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << m_name << "failed:" << reply.errorMessage();
        return reply.type() == QDBusMessage::ReplyMessage;
    }
    void quit()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

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
    PrivateBus m_system;
    PrivateBus m_session;

public:
    explicit MockWorld(const QString& freedesktopSaverPath)
        : m_saverPath(freedesktopSaverPath)
    {}

    // Connections for the watcher under test.
    const QDBusConnection systemBus = m_system.connect();
    const QDBusConnection sessionBus = m_session.connect();

    bool busesRunning() const { return systemBus.isConnected() && sessionBus.isConnected(); }

    // Starts the services, then switches on the `initial` causes.
    bool startServices(const QList<Cause>& initial = {})
    {
        m_logind.start(m_system, u"org.freedesktop.login1"_s, {u"--template"_s, u"logind"_s});
        m_freedesktop.start(m_session, freedesktopSaver,
                            {freedesktopSaver, m_saverPath, freedesktopSaver});
        m_gnome.start(m_session, u"org.gnome.ScreenSaver"_s,
                      {u"--template"_s, u"gnome_screensaver"_s});
        // GetActive and SetActive as gnome_screensaver has them.
        const bool started =
            m_logind.waitUntilOwned() && m_freedesktop.waitUntilOwned() &&
            m_gnome.waitUntilOwned() && addSession(u"c1"_s) &&
            m_freedesktop.call(m_saverPath, mockInterface, u"AddMethod"_s,
                               {freedesktopSaver, u"GetActive"_s, QString(), u"b"_s,
                                u"ret = getattr(self, 'is_active', False)"_s}) &&
            m_freedesktop.call(m_saverPath, mockInterface, u"AddMethod"_s,
                               {freedesktopSaver, u"SetActive"_s, u"b"_s, QString(),
                                u"self.is_active = args[0]\n"
                                "self.EmitSignal('', 'ActiveChanged', 'b', args)"_s});
        return started &&
               std::all_of(initial.cbegin(), initial.cend(), [this](Cause c) { return apply(c); });
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
                   m_logind.call(managerPath, mockInterface, u"EmitSignal"_s,
                                 {managerInterface, u"PrepareForSleep"_s, u"b"_s,
                                  QVariantList{cause == sleep}});
        case lock:
        case unlock:
            return m_logind.call(sessionPath(u"c1"_s), sessionInterface,
                                 cause == lock ? u"Lock"_s : u"Unlock"_s, {});
        case hintOn:
        case hintOff:
            return setLockedHint(u"c1"_s, cause == hintOn);
        case freedesktopOn:
        case freedesktopOff:
            return m_freedesktop.call(m_saverPath, freedesktopSaver, u"SetActive"_s,
                                      {cause == freedesktopOn});
        case gnomeOn:
        case gnomeOff:
            return m_gnome.call(u"/org/gnome/ScreenSaver"_s, u"org.gnome.ScreenSaver"_s,
                                u"SetActive"_s, {cause == gnomeOn});
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
    bool flush() { return ::flush(systemBus) && ::flush(sessionBus); }

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

    bool addSession(const QString& id)
    {
        return m_logind.call(managerPath, mockInterface, u"AddSession"_s,
                             {id, u"seat0"_s, uint(getuid()), u"user"_s, true});
    }
    bool setLockedHint(const QString& id, bool locked)
    {
        return m_logind.call(sessionPath(id), sessionInterface, u"SetLockedHint"_s, {locked});
    }
    bool setProperty(const QString& path, const QString& interface, const QString& name,
                     const QVariant& value)
    {
        return m_logind.call(path, u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
                             {interface, name, QVariant::fromValue(QDBusVariant(value))});
    }
    const QString m_saverPath;
    DBusMock m_logind;
    DBusMock m_freedesktop;
    DBusMock m_gnome;
};
