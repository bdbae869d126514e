#include "dunst.h"
#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QtTest>

#include <csignal>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString startBody =
    u"先记 3 个你的要点，再看 AI 会补充什么。这样更容易判断哪些内容值得采纳。"_s;
const QString followUpBody = u"继续之前，花 1 分钟过一下关键事实，你会更放心。"_s;

} // namespace

// The adapter against a real dunst; run through with-notification-daemon.sh.
class DunstNotificationsTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void buttonsThroughDunst_data();
    void buttonsThroughDunst();
    void repeatedIdentifierReplaces_data();
    void repeatedIdentifierReplaces();
    // Stops dunst, so it comes last.
    void survivesDunstDying();
};

void DunstNotificationsTest::init()
{
    if (!dunst::isRunning())
        QSKIP("needs dunst: run through with-notification-daemon.sh");
    QVERIFY(dunst::ctl({u"close-all"_s}));
}

void DunstNotificationsTest::buttonsThroughDunst_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("稍后提醒") << u"#稍后提醒 ("_s << u"SNOOZE"_s;
    QTest::newRow("已知晓") << u"#已知晓 ("_s << u"ACK"_s;
    QTest::newRow("今天不再提醒") << u"#今天不再提醒 ("_s << u"MUTE_TODAY"_s;
    QTest::newRow("body") << u"# ("_s << u"DISMISSED"_s;
}

void DunstNotificationsTest::buttonsThroughDunst()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    FreedesktopNotificationService service;
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    const qsizetype before = dunst::received().size();
    service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(dunst::received().size(), before + 1);
    const dunst::Received shown = dunst::received().constLast();
    QCOMPARE(shown.appName, u"Kelvo"_s);
    QCOMPARE(shown.summary, u"检测到 ChatGPT"_s);
    QCOMPARE(shown.body, startBody);
    QCOMPARE(shown.desktopEntry, u"kelvo"_s);
    QCOMPARE(shown.urgency, u"NORMAL"_s);

    QVERIFY(dunst::choose(entry));
    QVERIFY(dunst::ctl({u"context"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(answers.list, QStringList{expected + u':' + session.toString()},
                              10000);
    QStringList buttons{u"=default"_s, u"已知晓=ACK"_s, u"稍后提醒=SNOOZE"_s,
                        u"今天不再提醒=MUTE_TODAY"_s};
    buttons.sort();
    QCOMPARE(dunst::offeredButtons(shown.id), buttons);
}

void DunstNotificationsTest::repeatedIdentifierReplaces_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("waitInBetween");
    QTest::newRow("start reminder twice at once") << u"start"_s << false;
    QTest::newRow("follow-up again once shown") << u"followup"_s << true;
    QTest::newRow("daily summary changed the same day") << u"summary"_s << false;
}

void DunstNotificationsTest::repeatedIdentifierReplaces()
{
    QFETCH(QString, kind);
    QFETCH(bool, waitInBetween);
    FreedesktopNotificationService service;
    const QUuid session = QUuid::createUuid();
    QString title;
    QString body;
    const auto post = [&](int round) {
        if (kind == u"summary") {
            const DailySummary summary = sampleSummary(3600 + 600 * round);
            service.sendDailySummary(summary);
            title = u"今日 AI 使用总结"_s;
            body = SummaryComposer::notificationBody(summary);
        } else {
            const bool followUp = kind == u"followup";
            service.sendSessionReminder(u"Claude 网页"_s, session, followUp);
            title = (followUp ? u"继续使用 "_s : u"检测到 "_s) + u"Claude 网页"_s;
            body = followUp ? followUpBody : startBody;
        }
    };
    const qsizetype before = dunst::received().size();
    post(0);
    if (waitInBetween)
        QTRY_COMPARE(dunst::received().size(), before + 1);
    post(1);
    QTRY_COMPARE(dunst::received().size(), before + 2);
    const QList<dunst::Received> shown = dunst::received().mid(before);
    QCOMPARE(shown[1].id, shown[0].id);
    QCOMPARE(dunst::openCount(), 1);

    QVERIFY(dunst::ctl({u"close-all"_s}));
    const QVariantMap newest = dunst::history().value(0);
    QCOMPARE(newest.value(u"id"_s).toUInt(), shown[0].id);
    QCOMPARE(newest.value(u"summary"_s).toString(), title);
    // dunst draws the body as markup: the text must come through it literally.
    QVERIFY2(newest.value(u"message"_s).toString().endsWith(u'\n' + body.toHtmlEscaped()),
             qPrintable(newest.value(u"message"_s).toString()));
}

void DunstNotificationsTest::survivesDunstDying()
{
    FreedesktopNotificationService service;
    Answers answers(service);
    const qsizetype before = dunst::received().size();
    service.sendSessionReminder(u"ChatGPT"_s, QUuid::createUuid(), false);
    QTRY_COMPARE(dunst::received().size(), before + 1);

    QCOMPARE(::kill(qEnvironmentVariableIntValue("KELVO_TEST_DUNST_PID"), SIGKILL), 0);
    QTRY_VERIFY(!dunst::isRunning());
    StderrCapture capture;
    service.sendTestNotification();
    QTRY_COMPARE_WITH_TIMEOUT(capture.text(), u"[Kelvo] Test notification\n"_s, 10000);
    QCOMPARE(askState(service, false), NotificationAuthorizationState::unsupported);
    QVERIFY(answers.list.isEmpty());
}

QTEST_GUILESS_MAIN(DunstNotificationsTest)
#include "test_dunstnotifications.moc"
