#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QDBusConnectionInterface>
#include <QtTest>

#include <memory>

using namespace kelvo;

namespace {

// In a child process, on the session bus the test chose: prints the two states it is told, then
// sends one of each kind and passes on what reached standard error once the fallbacks are due.
int sendWithoutAServer()
{
    auto capture = std::make_unique<StderrCapture>();
    FreedesktopNotificationService service;
    for (const bool request : {false, true})
        std::printf("%d\n", int(askState(service, request)
                                    .value_or(NotificationAuthorizationState::notDetermined)));
    service.sendSessionReminder(u"ChatGPT"_s, QUuid::createUuid(), false);
    service.sendSessionReminder(u"Claude 网页"_s, QUuid::createUuid(), true);
    service.sendDailySummary(sampleSummary(3725));
    service.sendTestNotification();
    const bool due = QTest::qWaitFor([&] { return capture->text().count(u'\n') >= 4; }, 10000);
    const QByteArray lines = capture->text().toUtf8();
    capture.reset();
    std::fputs(lines.constData(), stderr);
    return due ? 0 : 1;
}

} // namespace

// The adapter without a bus, and against a scripted server on a bus of the test's own.
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
    QTest::addColumn<QString>("address");  // of the session bus; "private": a bus of the test's own
    QTest::addColumn<bool>("activatable"); // the private bus can start a server, which then fails
    QTest::addColumn<int>("reply");        // how a FakeServer there answers Notify; -1: no server
    QTest::addColumn<NotificationAuthorizationState>("state");
    const auto unsupported = NotificationAuthorizationState::unsupported;
    const auto authorized = NotificationAuthorizationState::authorized;
    QTest::newRow("no bus") << QString() << false << -1 << unsupported;
    QTest::newRow("socket missing")
        << u"unix:path=/nonexistent/kelvo-bus"_s << false << -1 << unsupported;
    QTest::newRow("no server") << u"private"_s << false << -1 << unsupported;
    QTest::newRow("server fails to start") << u"private"_s << true << -1 << authorized;
    QTest::newRow("server never answers")
        << u"private"_s << false << int(FakeServer::Reply::none) << authorized;
    QTest::newRow("server answers a text")
        << u"private"_s << false << int(FakeServer::Reply::text) << authorized;
}

// The state follows the bus's word alone, and prints nothing; every post that fails writes its
// line, and nothing else is written.
void NotificationServiceTest::writesLinesWithoutAServer()
{
    QFETCH(QString, address);
    QFETCH(bool, activatable);
    QFETCH(int, reply);
    QFETCH(NotificationAuthorizationState, state);
    PrivateBus bus(activatable ? notificationsName : QString());
    QVERIFY(!bus.address.isEmpty());
    std::unique_ptr<FakeServer> server;
    if (reply >= 0)
        server = std::make_unique<FakeServer>(bus.connect(), FakeServer::Reply(reply));
    QTemporaryDir runtime;
    QProcess child;
    QVERIFY(runSelf(
        child, {{u"XDG_RUNTIME_DIR"_s, runtime.path()},
                {u"DISPLAY"_s, QString()},
                {u"DBUS_SESSION_BUS_ADDRESS"_s, address == u"private" ? bus.address : address}}));
    QCOMPARE(child.readAllStandardOutput(), (QByteArray::number(int(state)) + '\n').repeated(2));
    QCOMPARE(QString::fromUtf8(child.readAllStandardError()),
             u"[Kelvo] Reminder: 打开 ChatGPT\n"
             u"[Kelvo] Reminder: 继续使用 Claude 网页\n"
             u"[Kelvo] Daily Summary: "_s +
                 SummaryComposer::notificationBody(sampleSummary(3725)) +
                 u"\n[Kelvo] Test notification\n"_s);
    QCOMPARE(child.exitCode(), 0);
}

void NotificationServiceTest::hostileAnswers_data()
{
    // Kelvo posts one notification, which the server numbers 1; then the server (or another
    // client) sends these signals. "S" in the answers stands for the session posted.
    QTest::addColumn<bool>("dailySummary");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unknown key") << false << QStringList{u"action 1 BOGUS"_s}
                                 << QStringList{u"DISMISSED:S"_s};
    QTest::newRow("answered twice")
        << false << QStringList{u"action 1 ACK"_s, u"action 1 SNOOZE"_s} << QStringList{u"ACK:S"_s};
    QTest::newRow("id never posted") << false << QStringList{u"action 99 ACK"_s} << QStringList();
    QTest::newRow("forged by another client") << false << QStringList{u"forged"_s} << QStringList();
    QTest::newRow("new server reuses the id")
        << false << QStringList{u"restart"_s, u"action 1 ACK"_s} << QStringList();
    QTest::newRow("daily summary clicked")
        << true << QStringList{u"action 1 default"_s} << QStringList{u"DISMISSED:-"_s};
}

void NotificationServiceTest::hostileAnswers()
{
    QFETCH(bool, dailySummary);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    PrivateBus bus;
    QVERIFY(!bus.address.isEmpty());
    auto server = std::make_unique<FakeServer>(bus.connect());
    FreedesktopNotificationService service(bus.connect());
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    dailySummary ? service.sendDailySummary(sampleSummary(60))
                 : service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(server->titles.size(), 1);

    for (const QString& step : std::as_const(steps)) {
        const QStringList word = step.split(u' ');
        if (word[0] == u"action") {
            server->send(u"ActionInvoked"_s, {word[1].toUInt(), word[2]});
        } else if (word[0] == u"forged") {
            QDBusConnection other = bus.connect();
            other.send(
                QDBusMessage::createSignal(notificationsPath, notificationsName, u"ActionInvoked"_s)
                << 1u << u"ACK"_s);
            // A round trip: the bus has passed the signal on before the server's next one.
            other.interface()->isServiceRegistered(notificationsName);
        } else if (word[0] == u"restart") {
            server.reset();
            server = std::make_unique<FakeServer>(bus.connect());
        }
    }
    // A last, ordinary answer shows that everything sent before it has been handled.
    const QUuid last = QUuid::createUuid();
    service.sendSessionReminder(u"Claude"_s, last, false);
    QTRY_VERIFY(server->titles.contains(u"检测到 Claude"_s));
    server->send(u"ActionInvoked"_s, {uint(server->titles.size()), u"ACK"_s});
    QTRY_VERIFY(answers.list.contains(u"ACK:"_s + last.toString()));
    answers.list.removeLast();
    expected.replaceInStrings(u":S"_s, u':' + session.toString());
    QCOMPARE(answers.list, expected);
}

int main(int argc, char** argv)
{
    return testMain<NotificationServiceTest>(argc, argv, sendWithoutAServer);
}

#include "test_notificationservice.moc"
