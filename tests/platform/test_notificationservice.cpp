#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QtTest>

#include <memory>
#include <optional>

using namespace kelvo;

namespace {

const QString notificationsName = u"org.freedesktop.Notifications"_s;
const QString notificationsPath = u"/org/freedesktop/Notifications"_s;

QDBusMessage actionInvoked(uint id, const QString& key)
{
    return QDBusMessage::createSignal(notificationsPath, notificationsName, u"ActionInvoked"_s)
           << id << key;
}

// An activatable notification service whose program fails to start, for as long as it lives.
class FailingService final {
public:
    FailingService()
    {
        reload(writeFile(m_path, "[D-BUS Service]\nName=" + name + "\nExec=/bin/false\n"));
    }
    ~FailingService() { reload(QFile::remove(m_path)); }
    FailingService(const FailingService&) = delete;
    FailingService& operator=(const FailingService&) = delete;

private:
    inline static const QByteArray name = notificationsName.toUtf8();
    static void reload(bool changed)
    {
        QVERIFY(changed);
        QVERIFY(QDBusConnection::sessionBus().interface()->call(u"ReloadConfig"_s).type() ==
                QDBusMessage::ReplyMessage);
    }
    const QString m_path =
        qEnvironmentVariable("KELVO_DESKTOP_DIR") + u"/services/failing.service"_s;
};

} // namespace

// Plays the notification server on the session bus, numbering notifications from 1. A "silent"
// server never answers Notify, a "text" one answers with a text.
class FakeServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeServer(const QDBusConnection& connection, const QString& kind = {})
        : bus(connection)
        , m_kind(kind)
    {
        bus.registerObject(notificationsPath, this, QDBusConnection::ExportAllSlots);
        bus.registerService(notificationsName);
    }
    ~FakeServer() override { bus.unregisterService(notificationsName); }

    QDBusConnection bus;
    uint notified = 0;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                const QStringList&, const QVariantMap&, int)
    {
        setDelayedReply(m_kind == u"silent" || m_kind == u"text");
        if (m_kind == u"text")
            connection().send(message().createReply(QStringLiteral("not an id")));
        return ++notified;
    }

private:
    QString m_kind;
};

// The adapter without a bus, and against a scripted server on the session bus.
class NotificationServiceTest final : public QObject {
    Q_OBJECT

private slots:
    void writesLinesWithoutAServer_data();
    void writesLinesWithoutAServer();
    void hostileAnswers_data();
    void hostileAnswers();
};

void NotificationServiceTest::writesLinesWithoutAServer_data()
{
    QTest::addColumn<QString>("server"); // null: no bus at all
    QTest::addColumn<NotificationAuthorizationState>("state");
    const auto unsupported = NotificationAuthorizationState::unsupported;
    const auto authorized = NotificationAuthorizationState::authorized;
    QTest::newRow("no bus") << QString() << unsupported;
    QTest::newRow("no server") << u"none"_s << unsupported;
    QTest::newRow("server fails to start") << u"failing"_s << authorized;
    QTest::newRow("server never answers") << u"silent"_s << authorized;
    QTest::newRow("server answers a text") << u"text"_s << authorized;
}

// The state follows the bus's word alone; every post that fails writes its line, and nothing
// else is written.
void NotificationServiceTest::writesLinesWithoutAServer()
{
    QFETCH(QString, server);
    QFETCH(NotificationAuthorizationState, state);
    QTest::failOnWarning(QRegularExpression(u"."_s));
    std::optional<FailingService> failing;
    if (server == u"failing")
        failing.emplace();
    std::optional<FakeServer> fake;
    if (server == u"silent" || server == u"text")
        fake.emplace(connectBus(), server);
    StderrCapture capture;
    FreedesktopNotificationService service(server.isNull() ? QDBusConnection(QString())
                                                           : connectBus());
    QCOMPARE(askState(service, false), state);
    QCOMPARE(askState(service, true), state);

    service.sendSessionReminder(u"ChatGPT"_s, QUuid::createUuid(), false);
    service.sendSessionReminder(u"Claude 网页"_s, QUuid::createUuid(), true);
    service.sendDailySummary(sampleSummary(3725));
    service.sendTestNotification();
    // Each post fails on its own, so the lines may come in any order.
    const auto lines = [&capture] {
        QStringList written = capture.text().split(u'\n');
        written.sort();
        return written;
    };
    QTRY_COMPARE_WITH_TIMEOUT(
        lines(),
        QStringList(
            {QString(),
             u"[Kelvo] Daily Summary: "_s + SummaryComposer::notificationBody(sampleSummary(3725)),
             u"[Kelvo] Reminder: 打开 ChatGPT"_s, u"[Kelvo] Reminder: 继续使用 Claude 网页"_s,
             u"[Kelvo] Test notification"_s}),
        10000);
}

void NotificationServiceTest::hostileAnswers_data()
{
    // Kelvo posts a reminder (or with "summary", a daily summary), which the server numbers 1; then
    // the server (or another client) sends these signals. "S" stands for the reminder's session.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    QTest::newRow("answered twice") << u"1 ACK, 1 SNOOZE"_s << u"ACK:S"_s;
    QTest::newRow("muted for today") << u"1 MUTE_TODAY"_s << u"MUTE_TODAY:S"_s;
    QTest::newRow("forged by another client") << u"forged"_s << QString();
    QTest::newRow("new server reuses the id") << u"restart, 1 ACK"_s << QString();
    QTest::newRow("daily summary clicked") << u"summary, 1 default"_s << u"DISMISSED:-"_s;
}

void NotificationServiceTest::hostileAnswers()
{
    QFETCH(QString, steps);
    QFETCH(QString, expected);
    auto server = std::make_unique<FakeServer>(connectBus());
    const QDBusConnection client = connectBus();
    FreedesktopNotificationService service(client);
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    steps.startsWith(u"summary") ? service.sendDailySummary(sampleSummary(60))
                                 : service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(server->notified, 1u);

    for (const QString& step : steps.split(u", "_s)) {
        if (step == u"forged") {
            QDBusConnection other = connectBus();
            other.send(actionInvoked(1, u"ACK"_s));
            QVERIFY(flush(other));
        } else if (step == u"restart") {
            server.reset();
            // Gone, the server no longer counts as there.
            QCOMPARE(askState(service, false), NotificationAuthorizationState::unsupported);
            server = std::make_unique<FakeServer>(connectBus());
        } else if (step != u"summary") {
            server->bus.send(
                actionInvoked(step.section(u' ', 0, 0).toUInt(), step.section(u' ', 1)));
        }
    }
    // The bus has passed on what the server sent, and the service has taken it in.
    QVERIFY(flush(server->bus) && flush(client));
    QCOMPARE(answers.list.join(u", "), expected.replace(u":S"_s, u':' + session.toString()));
}

QTEST_GUILESS_MAIN(NotificationServiceTest)
#include "test_notificationservice.moc"
