#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QtTest>

#include <memory>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

// In a child process: sends one of each kind without any notification server.
int sendWithoutAServer()
{
    FreedesktopNotificationService service;
    for (const bool request : {false, true}) {
        const auto state = askState(service, request);
        std::printf("%s\n",
                    state == NotificationAuthorizationState::unsupported ? "unsupported" : "other");
    }
    service.sendSessionReminder(u"ChatGPT"_s, QUuid::createUuid(), false);
    service.sendSessionReminder(u"Claude 网页"_s, QUuid::createUuid(), true);
    service.sendDailySummary(sampleSummary(3725));
    service.sendTestNotification();
    return 0;
}

} // namespace

// The adapter without a bus, and against a scripted server on a bus of the test's own.
class NotificationServiceTest final : public QObject {
    Q_OBJECT

private slots:
    void writesLinesWithoutABus_data();
    void writesLinesWithoutABus();
    void presentWhenOwnedOrActivatable_data();
    void presentWhenOwnedOrActivatable();
    void writesLineWhenNotifyFails_data();
    void writesLineWhenNotifyFails();
    void hostileAnswers_data();
    void hostileAnswers();
    void opensSettingsProgram_data();
    void opensSettingsProgram();
};

void NotificationServiceTest::writesLinesWithoutABus_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("socket missing") << u"unix:path=/nonexistent/kelvo-bus"_s;
    QTest::newRow("not an address") << u"no-such-transport:"_s;
    QTest::newRow("unset") << QString();
}

void NotificationServiceTest::writesLinesWithoutABus()
{
    QFETCH(QString, address);
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"KELVO_TEST_CHILD"_s, u"1"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    env.remove(u"DISPLAY"_s);
    address.isNull() ? env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s)
                     : env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput(), "unsupported\nunsupported\n");
    QCOMPARE(QString::fromUtf8(child.readAllStandardError()),
             u"[Kelvo] Reminder: 打开 ChatGPT\n"
             u"[Kelvo] Reminder: 继续使用 Claude 网页\n"
             u"[Kelvo] Daily Summary: "_s +
                 SummaryComposer::notificationBody(sampleSummary(3725)) +
                 u"\n[Kelvo] Test notification\n"_s);
}

void NotificationServiceTest::presentWhenOwnedOrActivatable_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("activatable");
    QTest::addColumn<NotificationAuthorizationState>("expected");
    QTest::newRow("running") << true << false << NotificationAuthorizationState::authorized;
    QTest::newRow("activatable") << false << true << NotificationAuthorizationState::authorized;
    QTest::newRow("neither") << false << false << NotificationAuthorizationState::unsupported;
}

void NotificationServiceTest::presentWhenOwnedOrActivatable()
{
    QFETCH(bool, running);
    QFETCH(bool, activatable);
    QFETCH(NotificationAuthorizationState, expected);
    PrivateBus bus(activatable);
    QVERIFY(bus.isRunning());
    std::unique_ptr<FakeServer> server;
    if (running)
        server = std::make_unique<FakeServer>(bus.connect());
    FreedesktopNotificationService service(bus.connect());
    StderrCapture capture;
    QCOMPARE(askState(service, false), expected);
    QCOMPARE(askState(service, true), expected);
    QCOMPARE(capture.text(), QString());
}

void NotificationServiceTest::writesLineWhenNotifyFails_data()
{
    QTest::addColumn<QString>("failure");
    for (const char* failure : {"no server", "server fails to start", "server quits",
                                "server never answers", "server answers a text", "bus dies"})
        QTest::newRow(failure) << QString::fromLatin1(failure);
}

void NotificationServiceTest::writesLineWhenNotifyFails()
{
    QFETCH(QString, failure);
    PrivateBus bus(failure == u"server fails to start");
    QVERIFY(bus.isRunning());
    std::unique_ptr<FakeServer> server;
    if (failure.startsWith(u"server ") && failure != u"server fails to start") {
        const auto reply = failure == u"server never answers"    ? FakeServer::Reply::none
                           : failure == u"server answers a text" ? FakeServer::Reply::text
                                                                 : FakeServer::Reply::id;
        server = std::make_unique<FakeServer>(bus.connect(), reply);
    }
    FreedesktopNotificationService service(bus.connect());
    StderrCapture capture;
    if (failure == u"server quits") {
        service.sendTestNotification(); // delivered: no line
        QTRY_COMPARE(server->titles.size(), 1);
        server.reset();
        QDBusConnection observer = bus.connect();
        QTRY_VERIFY(!observer.interface()->isServiceRegistered(notificationsName));
    } else if (failure == u"bus dies") {
        bus.stop();
    }
    service.sendSessionReminder(u"ChatGPT"_s, QUuid::createUuid(), false);
    QTRY_COMPARE_WITH_TIMEOUT(capture.text(), u"[Kelvo] Reminder: 打开 ChatGPT\n"_s, 10000);
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
    QTest::newRow("closed, then answered")
        << false << QStringList{u"closed 1"_s, u"action 1 ACK"_s} << QStringList();
    QTest::newRow("wrong argument types") << false << QStringList{u"mistyped"_s} << QStringList();
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
    QVERIFY(bus.isRunning());
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
        } else if (word[0] == u"closed") {
            server->send(u"NotificationClosed"_s, {word[1].toUInt(), 2u});
        } else if (word[0] == u"mistyped") {
            server->send(u"ActionInvoked"_s, {u"1"_s, u"ACK"_s});
        } else if (word[0] == u"forged") {
            QDBusConnection other = bus.connect();
            QDBusMessage signal = QDBusMessage::createSignal(notificationsPath, notificationsName,
                                                             u"ActionInvoked"_s);
            signal << 1u << u"ACK"_s;
            other.send(signal);
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
    QTRY_VERIFY(answers.list.contains(describe(ReminderUserAction::acknowledge, last)));
    answers.list.removeLast();
    expected.replaceInStrings(u":S"_s, u':' + session.toString());
    QCOMPARE(answers.list, expected);
}

void NotificationServiceTest::opensSettingsProgram_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("launched");
    const QStringList all{u"gnome-control-center"_s, u"systemsettings"_s, u"systemsettings5"_s,
                          u"xfce4-notifyd-config"_s};
    QTest::newRow("GNOME first") << all << u"gnome-control-center notifications"_s;
    QTest::newRow("Plasma 6") << all.mid(1) << u"systemsettings kcm_notifications"_s;
    QTest::newRow("Plasma 5") << all.mid(2) << u"systemsettings5 kcm_notifications"_s;
    QTest::newRow("Xfce") << all.mid(3) << u"xfce4-notifyd-config "_s;
    QTest::newRow("none") << QStringList() << QString();
}

void NotificationServiceTest::opensSettingsProgram()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, launched);
    QTemporaryDir bin;
    const QString record = bin.filePath(u"launched"_s);
    for (const QString& program : std::as_const(installed)) {
        QFile script(bin.filePath(program));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"${0##*/} $*\" >" + record.toUtf8() + "\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    FreedesktopNotificationService(QDBusConnection(QString())).openSystemNotificationSettings();
    qputenv("PATH", path);
    if (launched.isEmpty()) {
        QVERIFY(!QFile::exists(record));
        return;
    }
    const auto readRecord = [&record] {
        QFile file(record);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QTRY_COMPARE(readRecord(), launched + u'\n');
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("KELVO_TEST_CHILD"))
        return sendWithoutAServer();
    NotificationServiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_notificationservice.moc"
