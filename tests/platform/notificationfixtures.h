#pragma once

#include "engine/notificationservice.h"
#include "model/enums.h"
#include "summary/summaryrecords.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <optional>
#include <unistd.h>

inline const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");
inline const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");

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

    QString text() const
    {
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QTemporaryFile m_file;
    int m_saved = dup(STDERR_FILENO);
};

// A session bus of the test's own, where nothing is activatable unless asked for.
class PrivateBus final {
public:
    // With `failingServer`, org.freedesktop.Notifications is activatable but fails to start.
    explicit PrivateBus(bool failingServer = false)
    {
        const QString services = m_dir.filePath(QStringLiteral("services"));
        QDir().mkpath(services);
        if (failingServer) {
            write(services + QStringLiteral("/notifications.service"),
                  "[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=/bin/false\n");
        }
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        write(config, QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                     "<servicedir>%2</servicedir><auth>EXTERNAL</auth>"
                                     "<policy context=\"default\"><allow own=\"*\"/>"
                                     "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                     "</policy></busconfig>")
                          .arg(m_dir.path(), services)
                          .toUtf8());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--config-file=") + config});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    QDBusConnection connect()
    {
        static int counter = 0;
        m_connections.append(QStringLiteral("kelvo-test-%1").arg(++counter));
        return QDBusConnection::connectToBus(m_address, m_connections.constLast());
    }

private:
    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// Plays the notification server on a PrivateBus. It numbers notifications from 1 and sends
// whatever signals the test asks for.
class FakeServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    enum class Reply { id, text, none };

    explicit FakeServer(const QDBusConnection& bus, Reply reply = Reply::id)
        : m_bus(bus)
        , m_reply(reply)
    {
        m_bus.registerObject(notificationsPath, this, QDBusConnection::ExportAllSlots);
        m_bus.registerService(notificationsName);
    }
    ~FakeServer() override
    {
        m_bus.unregisterService(notificationsName);
        m_bus.unregisterObject(notificationsPath);
    }

    void send(const QString& member, const QVariantList& arguments)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(notificationsPath, notificationsName, member);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QStringList titles; // of every Notify received

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int)
    {
        titles.append(summary);
        if (m_reply != Reply::id) {
            setDelayedReply(true);
            if (m_reply == Reply::text)
                connection().send(message().createReply(QStringLiteral("not an id")));
        }
        return ++m_lastId;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QDBusConnection m_bus;
    Reply m_reply;
    uint m_lastId = 0;
};

// A summary whose advice holds markup characters.
inline kelvo::DailySummary sampleSummary(double totalDuration)
{
    kelvo::DailySummary summary;
    summary.day = QDateTime(QDate(2024, 5, 6), QTime(0, 0));
    summary.totalDuration = totalDuration;
    summary.suggestion = QStringLiteral("先写草稿 & 再问 AI <提纲>");
    return summary;
}

// Every answer the service hands over, as "ACTION:session" texts ("-" for no session).
struct Answers {
    explicit Answers(kelvo::NotificationService& service)
    {
        service.setOnReminderAction(
            [this](kelvo::ReminderUserAction action, std::optional<QUuid> id) {
                list.append(kelvo::storedText(action) + u':' +
                            (id ? id->toString() : QStringLiteral("-")));
            });
    }
    QStringList list;
};

// The state that the service answers later; nothing if it answered inside the call or never.
inline std::optional<kelvo::NotificationAuthorizationState>
askState(kelvo::NotificationService& service, bool request)
{
    std::optional<kelvo::NotificationAuthorizationState> state;
    const auto done = [&state](kelvo::NotificationAuthorizationState answer) {
        state = answer;
    };
    request ? service.requestAuthorization(done) : service.authorizationStatus(done);
    if (state) // answered inside the call
        return std::nullopt;
    return QTest::qWaitFor([&state] { return state.has_value(); }, 10000) ? state : std::nullopt;
}
