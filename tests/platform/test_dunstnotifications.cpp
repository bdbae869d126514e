#include "dunst.h"
#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QtTest>

#include <csignal>

using namespace kelvo;

// The adapter against a real dunst; run through with-notification-daemon.sh.
class DunstNotificationsTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void reminderThroughDunst();
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

// A start reminder as dunst shows it, and "稍后提醒" chosen from dunst's menu.
void DunstNotificationsTest::reminderThroughDunst()
{
    FreedesktopNotificationService service;
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    const qsizetype before = dunst::received().size();
    service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(dunst::received().size(), before + 1);
    const dunst::Received shown = dunst::received().constLast();
    QCOMPARE(shown.summary, u"检测到 ChatGPT"_s);
    QCOMPARE(shown.body,
             u"先记 3 个你的要点，再看 AI 会补充什么。这样更容易判断哪些内容值得采纳。"_s);
    QCOMPARE(shown.desktopEntry, u"kelvo"_s);

    QVERIFY(dunst::choose(u"#稍后提醒 ("_s));
    QVERIFY(dunst::ctl({u"context"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(answers.list, QStringList{u"SNOOZE:"_s + session.toString()}, 10000);
    QStringList buttons{u"=default"_s, u"已知晓=ACK"_s, u"稍后提醒=SNOOZE"_s,
                        u"今天不再提醒=MUTE_TODAY"_s};
    buttons.sort();
    QCOMPARE(dunst::offeredButtons(shown.id), buttons);
}

void DunstNotificationsTest::repeatedIdentifierReplaces_data()
{
    QTest::addColumn<bool>("summary");       // else a start reminder of one session
    QTest::addColumn<bool>("waitInBetween"); // else the second post overtakes the first's reply
    QTest::newRow("start reminder twice at once") << false << false;
    QTest::newRow("daily summary again once shown") << true << true;
}

void DunstNotificationsTest::repeatedIdentifierReplaces()
{
    QFETCH(bool, summary);
    QFETCH(bool, waitInBetween);
    FreedesktopNotificationService service;
    const QUuid session = QUuid::createUuid();
    const auto post = [&](double duration) {
        summary ? service.sendDailySummary(sampleSummary(duration))
                : service.sendSessionReminder(u"Claude 网页"_s, session, false);
    };
    const qsizetype before = dunst::received().size();
    post(3600);
    if (waitInBetween)
        QTRY_COMPARE(dunst::received().size(), before + 1);
    post(4200);
    QTRY_COMPARE(dunst::received().size(), before + 2);
    const QList<dunst::Received> shown = dunst::received().mid(before);
    QCOMPARE(shown[1].id, shown[0].id);
    QCOMPARE(dunst::openCounts(), "1+0");
    // dunst reads bodies as markup, so the advice's "&" and "<…>" must arrive escaped.
    if (summary)
        QCOMPARE(shown[1].body,
                 SummaryComposer::notificationBody(sampleSummary(4200)).toHtmlEscaped());
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
