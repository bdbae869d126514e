#pragma once

#include "privatebus.h"

// One python3-dbusmock service; what it logs tells which calls reached it.
class DBusMock final {
public:
    ~DBusMock() { quit(); }

    // On the bus that `bus` names, which is where a template puts itself too.
    void start(const char* bus, const QString& name, const QStringList& arguments)
    {
        m_name = name;
        m_control = connectBus(bus);
        // The system interpreter: Debian installs python3-dbusmock for it alone.
        m_process.start(u"/usr/bin/python3"_s, QStringList{u"-m"_s, u"dbusmock"_s} + arguments);
    }
    // Whether the service (and not one left by an earlier test) took its name or, given a
    // `text`, logged it; says why not.
    bool waitFor(const QString& text = {})
    {
        const auto done = [this, &text] {
            m_log += m_process.readAllStandardOutput();
            return m_process.state() == QProcess::NotRunning ||
                   (text.isEmpty() ? m_control.interface()->servicePid(m_name).value() ==
                                         uint(m_process.processId())
                                   : m_log.contains(text.toUtf8()));
        };
        if (QTest::qWaitFor(done, busTimeoutMs) && m_process.state() == QProcess::Running)
            return true;
        qWarning() << m_name << "gave up waiting for" << text << m_log
                   << m_process.readAllStandardError();
        return false;
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

// logind on the system bus, org.freedesktop.ScreenSaver (at `saverPath`) and org.gnome.ScreenSaver
// on the session bus, all mocked. This user's session is c1; the locked ".../session/auto" stands
// for it.
class MockWorld final {
public:
    explicit MockWorld(const QString& saverPath)
        : m_saverPath(saverPath)
    {}

    // Connections for the watcher under test.
    const QDBusConnection systemBus = connectBus("DBUS_SYSTEM_BUS_ADDRESS");
    const QDBusConnection sessionBus = connectBus();

    // Starts the services, then brings about the `initial` cause.
    bool start(const QString& initial)
    {
        m_logind.start("DBUS_SYSTEM_BUS_ADDRESS", u"org.freedesktop.login1"_s,
                       {u"--template"_s, u"logind"_s});
        m_saver.start("DBUS_SESSION_BUS_ADDRESS", saver, {saver, m_saverPath, saver});
        m_gnome.start("DBUS_SESSION_BUS_ADDRESS", gnome, {u"--template"_s, u"gnome_screensaver"_s});
        return m_logind.waitFor() && m_saver.waitFor() && m_gnome.waitFor() &&
               addSession(u"c1"_s, false) && addSession(u"auto"_s, true) &&
               m_logind.call(sessionPath(u"auto"_s), properties, u"Set"_s,
                             {session, u"Id"_s, QVariant::fromValue(QDBusVariant(u"c1"_s))}) &&
               // GetActive and SetActive as gnome_screensaver has them.
               m_saver.call(m_saverPath, mock, u"AddMethod"_s,
                            {saver, u"GetActive"_s, QString(), u"b"_s,
                             u"ret = getattr(self, 'is_active', False)"_s}) &&
               m_saver.call(m_saverPath, mock, u"AddMethod"_s,
                            {saver, u"SetActive"_s, u"b"_s, QString(),
                             u"self.is_active = args[0]\n"
                             "self.EmitSignal('', 'ActiveChanged', 'b', args)"_s}) &&
               apply(initial);
    }

    // Once every service has been asked for its state, every signal reaches the watcher.
    bool waitUntilWatched()
    {
        return m_logind.waitFor(u"Get "_s + sessionPath(u"c1"_s) + u' ' + session +
                                u".LockedHint"_s) &&
               m_saver.waitFor(u"GetActive"_s) && m_gnome.waitFor(u"GetActive"_s);
    }

    // Brings about "sleep", "wake", "lock", "unlock", "hint on" or "hint off" (LockedHint),
    // "saver on", "saver off", "gnome on", "gnome off", "logind quits" or "saver quits".
    bool apply(const QString& cause)
    {
        const bool on = cause == u"sleep" || cause == u"lock" || cause.endsWith(u" on");
        const QString c1 = sessionPath(u"c1"_s);
        if (cause == u"sleep" || cause == u"wake") {
            return m_logind.call(
                       managerPath, properties, u"Set"_s,
                       {manager, u"PreparingForSleep"_s, QVariant::fromValue(QDBusVariant(on))}) &&
                   m_logind.call(managerPath, mock, u"EmitSignal"_s,
                                 {manager, u"PrepareForSleep"_s, u"b"_s, QVariantList{on}});
        }
        if (cause == u"lock" || cause == u"unlock")
            return m_logind.call(c1, session, on ? u"Lock"_s : u"Unlock"_s, {});
        if (cause.startsWith(u"hint"))
            return m_logind.call(c1, session, u"SetLockedHint"_s, {on});
        if (cause == u"saver on" || cause == u"saver off")
            return m_saver.call(m_saverPath, saver, u"SetActive"_s, {on});
        if (cause.startsWith(u"gnome"))
            return m_gnome.call(u"/org/gnome/ScreenSaver"_s, gnome, u"SetActive"_s, {on});
        if (cause.endsWith(u"quits"))
            (cause.startsWith(u"logind") ? m_logind : m_saver).quit();
        return cause.endsWith(u"quits");
    }

    // Returns once the watcher's connections have handed over every message that reached them.
    bool flush() { return ::flush(systemBus) && ::flush(sessionBus); }

private:
    inline static const QString managerPath = u"/org/freedesktop/login1"_s;
    inline static const QString manager = u"org.freedesktop.login1.Manager"_s;
    inline static const QString session = u"org.freedesktop.login1.Session"_s;
    inline static const QString properties = u"org.freedesktop.DBus.Properties"_s;
    inline static const QString mock = u"org.freedesktop.DBus.Mock"_s;
    inline static const QString saver = u"org.freedesktop.ScreenSaver"_s;
    inline static const QString gnome = u"org.gnome.ScreenSaver"_s;

    static QString sessionPath(const QString& id)
    {
        return u"/org/freedesktop/login1/session/"_s + id;
    }
    bool addSession(const QString& id, bool locked)
    {
        return m_logind.call(managerPath, mock, u"AddSession"_s,
                             {id, u"seat0"_s, uint(getuid()), u"user"_s, true}) &&
               (!locked || m_logind.call(sessionPath(id), session, u"SetLockedHint"_s, {true}));
    }

    const QString m_saverPath;
    DBusMock m_logind;
    DBusMock m_saver;
    DBusMock m_gnome;
};
