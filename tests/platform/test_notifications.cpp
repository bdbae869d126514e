#include "engine/notificationservice.h"
#include "model/enums.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "platform/privatebus.h"
#include "summary/summarycomposer.h"
#include "summary/summaryrecords.h"

#include <memory>
#include <optional>

using namespace kelvo;

namespace {

// A summary whose advice holds markup characters.
DailySummary sampleSummary(double totalDuration)
{
    DailySummary summary;
    summary.day = QDateTime(QDate(2024, 5, 6), QTime(0, 0));
    summary.totalDuration = totalDuration;
    summary.suggestion = QStringLiteral("先写草稿 & 再问 AI <提纲>");
    return summary;
}

// Every answer the service hands over, as "ACTION:session" texts ("-" for no session).
struct Answers {
    explicit Answers(NotificationService& service)
    {
        service.setOnReminderAction([this](ReminderUserAction action, std::optional<QUuid> id) {
            list.append(storedText(action) + u':' + (id ? id->toString() : QStringLiteral("-")));
        });
    }
    QStringList list;
};

// The state that the service answers later; nothing if it answered inside the call or never.
std::optional<NotificationAuthorizationState> askState(NotificationService& service, bool request)
{
    std::optional<NotificationAuthorizationState> state;
    const auto done = [&state](NotificationAuthorizationState answer) {
        state = answer;
    };
    request ? service.requestAuthorization(done) : service.authorizationStatus(done);
    if (state) // answered inside the call
        return std::nullopt;
    return QTest::qWaitFor([&state] { return state.has_value(); }, 10000) ? state : std::nullopt;
}

// A file of the desktop that tests/support/desktop.sh started: the bus's services, dunst's log.
QString desktopFile(const char* name)
{
    return qEnvironmentVariable("KELVO_DESKTOP_DIR") + u'/' + QLatin1StringView(name);
}

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
        reload(writeFile(m_path, "[D-BUS Service]\nName=org.freedesktop.Notifications\n"
                                 "Exec=/bin/false\n"));
    }
    ~FailingService() { reload(QFile::remove(m_path)); }

private:
    static void reload(bool changed)
    {
        QVERIFY(changed);
        QVERIFY(QDBusConnection::sessionBus().interface()->call(u"ReloadConfig"_s).type() ==
                QDBusMessage::ReplyMessage);
    }
    const QString m_path = desktopFile("services/failing.service");
};

// Runs dunstctl with `arguments`: what it printed, or nothing when it failed.
std::optional<QByteArray> dunstctl(const QStringList& arguments)
{
    QProcess process;
    process.start(u"dunstctl"_s, arguments);
    if (!process.waitForFinished() || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// The notifications that dunst showed: id, app name, summary, body and desktop entry each.
QList<QStringList> shownByDunst()
{
    QList<QStringList> result;
    const QString log = QString::fromUtf8(readFile(desktopFile("notifications.log")));
    for (const QString& record : log.split(QChar(0x1e), Qt::SkipEmptyParts)) {
        if (const QStringList fields = record.split(QChar(0x1f)); fields.size() == 5)
            result.append(fields);
    }
    return result;
}

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

// The adapter without a bus, against a scripted server on the session bus, and against a real
// dunst.
class NotificationServiceTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void writesLinesWithoutAServer_data();
    void writesLinesWithoutAServer();
    void hostileAnswers_data();
    void hostileAnswers();
    void dunstShowsReminder();
    void dunstReplacesRepeatedIdentifier_data();
    void dunstReplacesRepeatedIdentifier();
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

// The functions named "dunst…" run on a desktop with dunst, the others on one without; each
// starts with no notification shown or logged.
void NotificationServiceTest::init()
{
    const bool dunst = QByteArray(QTest::currentTestFunction()).startsWith("dunst");
    if (dunst == qEnvironmentVariableIsEmpty("KELVO_DESKTOP_DUNST_PID"))
        QSKIP("runs on the other desktop that CMakeLists.txt sets up");
    QVERIFY(!dunst ||
            (dunstctl({u"close-all"_s}) && writeFile(desktopFile("notifications.log"), {})));
}

// A start reminder as dunst shows it, and "稍后提醒" chosen from dunst's menu.
void NotificationServiceTest::dunstShowsReminder()
{
    FreedesktopNotificationService service;
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(shownByDunst().size(), 1);
    const QStringList shown = shownByDunst().constFirst();
    QCOMPARE(shown.mid(1), QStringList({u"Kelvo"_s, u"检测到 ChatGPT"_s,
                                        u"先记 3 个你的要点，再看 AI 会补充什么。"
                                        u"这样更容易判断哪些内容值得采纳。"_s,
                                        u"kelvo"_s}));

    // The menu script picks the first entry that holds the text in menu-choice.
    QVERIFY(writeFile(desktopFile("menu-choice"), "#稍后提醒 ("));
    QVERIFY(dunstctl({u"context"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(answers.list, QStringList{u"SNOOZE:"_s + session.toString()}, 10000);
    QStringList offered =
        QString::fromUtf8(readFile(desktopFile("menu-input"))).split(u'\n', Qt::SkipEmptyParts);
    offered.sort();
    QCOMPARE(offered.join(u'\n'), u"# (检测到 ChatGPT) [%1,default]\n"
                                  u"#今天不再提醒 (检测到 ChatGPT) [%1,MUTE_TODAY]\n"
                                  u"#已知晓 (检测到 ChatGPT) [%1,ACK]\n"
                                  u"#稍后提醒 (检测到 ChatGPT) [%1,SNOOZE]"_s.arg(shown[0]));
}

void NotificationServiceTest::dunstReplacesRepeatedIdentifier_data()
{
    // A daily summary posted again once shown, else a start reminder of one session posted
    // twice at once (the second post overtakes the first's reply).
    QTest::addColumn<bool>("summary");
    QTest::newRow("start reminder twice at once") << false;
    QTest::newRow("daily summary again once shown") << true;
}

void NotificationServiceTest::dunstReplacesRepeatedIdentifier()
{
    QFETCH(bool, summary);
    FreedesktopNotificationService service;
    const QUuid session = QUuid::createUuid();
    const auto post = [&](double duration) {
        summary ? service.sendDailySummary(sampleSummary(duration))
                : service.sendSessionReminder(u"Claude 网页"_s, session, false);
    };
    post(3600);
    if (summary)
        QTRY_COMPARE(shownByDunst().size(), 1);
    post(4200);
    QTRY_COMPARE(shownByDunst().size(), 2);
    const QList<QStringList> shown = shownByDunst();
    QCOMPARE(shown[1][0], shown[0][0]);
    QCOMPARE(dunstctl({u"count"_s, u"displayed"_s}), "1\n");
    // dunst reads bodies as markup, so the advice's "&" and "<…>" must arrive escaped.
    if (summary)
        QCOMPARE(shown[1][3],
                 SummaryComposer::notificationBody(sampleSummary(4200)).toHtmlEscaped());
}

QTEST_GUILESS_MAIN(NotificationServiceTest)
#include "test_notifications.moc"
