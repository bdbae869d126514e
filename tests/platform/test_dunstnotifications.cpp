#include "dunst.h"
#include "notificationfixtures.h"
#include "platform/dbus/freedesktopnotifications.h"
#include "summary/summarycomposer.h"

#include <QtTest>

using namespace kelvo;

// The adapter against a real dunst.
class DunstNotificationsTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void reminderThroughDunst();
    void repeatedIdentifierReplaces_data();
    void repeatedIdentifierReplaces();
};

void DunstNotificationsTest::init()
{
    if (qEnvironmentVariableIsEmpty("KELVO_DESKTOP_DUNST_PID"))
        QSKIP("needs dunst: run through tests/support/desktop.sh --notifications");
    QVERIFY(dunst::ctl({u"close-all"_s}));
    QVERIFY(writeFile(dunst::file("notifications.log"), {}));
}

// A start reminder as dunst shows it, and "稍后提醒" chosen from dunst's menu.
void DunstNotificationsTest::reminderThroughDunst()
{
    FreedesktopNotificationService service;
    Answers answers(service);
    const QUuid session = QUuid::createUuid();
    service.sendSessionReminder(u"ChatGPT"_s, session, false);
    QTRY_COMPARE(dunst::received().size(), 1);
    const dunst::Received shown = dunst::received().constFirst();
    QCOMPARE(shown.app, u"Kelvo"_s);
    QCOMPARE(shown.summary, u"检测到 ChatGPT"_s);
    QCOMPARE(shown.body,
             u"先记 3 个你的要点，再看 AI 会补充什么。这样更容易判断哪些内容值得采纳。"_s);
    QCOMPARE(shown.desktopEntry, u"kelvo"_s);

    // The menu script picks the first entry that holds the text in menu-choice.
    QVERIFY(writeFile(dunst::file("menu-choice"), "#稍后提醒 ("));
    QVERIFY(dunst::ctl({u"context"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(answers.list, QStringList{u"SNOOZE:"_s + session.toString()}, 10000);
    QStringList offered =
        QString::fromUtf8(readFile(dunst::file("menu-input"))).split(u'\n', Qt::SkipEmptyParts);
    offered.sort();
    QCOMPARE(offered.join(u'\n'), u"# (检测到 ChatGPT) [%1,default]\n"
                                  u"#今天不再提醒 (检测到 ChatGPT) [%1,MUTE_TODAY]\n"
                                  u"#已知晓 (检测到 ChatGPT) [%1,ACK]\n"
                                  u"#稍后提醒 (检测到 ChatGPT) [%1,SNOOZE]"_s.arg(shown.id));
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
    post(3600);
    if (waitInBetween)
        QTRY_COMPARE(dunst::received().size(), 1);
    post(4200);
    QTRY_COMPARE(dunst::received().size(), 2);
    const QList<dunst::Received> shown = dunst::received();
    QCOMPARE(shown[1].id, shown[0].id);
    QCOMPARE(dunst::ctl({u"count"_s, u"displayed"_s}), "1\n");
    // dunst reads bodies as markup, so the advice's "&" and "<…>" must arrive escaped.
    if (summary)
        QCOMPARE(shown[1].body,
                 SummaryComposer::notificationBody(sampleSummary(4200)).toHtmlEscaped());
}

QTEST_GUILESS_MAIN(DunstNotificationsTest)
#include "test_dunstnotifications.moc"
