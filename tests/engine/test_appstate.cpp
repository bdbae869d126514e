#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const FrontmostAppSnapshot chatGpt{u"chatgpt"_s, u"ChatGPT"_s};
const FrontmostAppSnapshot claude{u"claude-desktop"_s, u"Claude"_s};
const FrontmostAppSnapshot editor{u"org.gnome.TextEditor"_s, u"文本编辑器"_s};
const FrontmostAppSnapshot chromium{u"chromium"_s, u"Chromium"_s};

const QDateTime launchTime(QDate(2026, 5, 12), QTime(9, 0), QTimeZone::utc());

struct Harness : EngineHarness {
    explicit Harness(StoredState initial = {})
        : EngineHarness(launchTime, std::move(initial))
    {}

    void start(const FrontmostAppSnapshot& front)
    {
        monitor.setForeground(front);
        engine->start();
    }
};

} // namespace

class AppStateTest final : public QObject {
    Q_OBJECT

private slots:
    void pollThenChangeOpensExactlyOneSession();
    void switchingToolsLeavesNoGap();
    void tabChangeWhileBrowserStaysInFrontClosesSession();
    void pruneKeepsExactlyNinetyDays_data();
    void pruneKeepsExactlyNinetyDays();
    void stopStoresOpenSession();
    void permissionIsReadAfterStart();
    void sleepEndsTheSessionAtTheLastObservation_data();
    void sleepEndsTheSessionAtTheLastObservation();
    void lockedScreenIsNotUse();
    void everySaveRedrawsTheWidget();
};

void AppStateTest::pollThenChangeOpensExactlyOneSession()
{
    Harness h;
    h.start(editor);
    h.monitor.bringToFront(chatGpt); // onPoll, then onChange with the same snapshot
    QVERIFY(h.engine->activeSession());
    const QUuid id = h.engine->activeSession()->id;
    QCOMPARE(h.log.calls.filter(u"notifications.start:"_s),
             QStringList{u"notifications.start:ChatGPT:"_s +
                         id.toString(QUuid::WithoutBraces).toUpper()});

    h.clock.advance(2);
    h.monitor.emitCurrentSnapshot(); // the next poll: unchanged, onPoll only
    QCOMPARE(h.engine->activeSession()->id, id);
    QVERIFY(h.engine->sessions().isEmpty());
}

void AppStateTest::switchingToolsLeavesNoGap()
{
    Harness h;
    h.start(chatGpt);
    const QUuid first = h.engine->activeSession()->id;

    h.clock.advanceMs(300); // a session under a second is stored like any other
    const QDateTime switchTime = h.clock.now();
    h.monitor.bringToFront(claude);

    QCOMPARE(h.engine->sessions().size(), 1);
    QCOMPARE(h.engine->sessions().first().id, first);
    QCOMPARE(h.engine->sessions().first().endedAt, switchTime);
    QVERIFY(h.engine->activeSession());
    QCOMPARE(h.engine->activeSession()->displayName, u"Claude"_s);
    QCOMPARE(h.engine->activeSession()->startedAt, switchTime);
    QCOMPARE(h.store.state.sessions, h.engine->sessions());
}

void AppStateTest::tabChangeWhileBrowserStaysInFrontClosesSession()
{
    Harness h;
    h.tabs.setActiveTab(u"chromium"_s, u"https://claude.ai/"_s);
    h.start(chromium);
    QVERIFY(h.engine->activeSession());

    h.clock.advance(4);
    h.tabs.setActiveTab(u"chromium"_s, u"https://example.org/"_s);
    h.monitor.emitCurrentSnapshot(); // the poll sees the same application
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.engine->sessions().size(), 1);
    const AiUsageSession& closed = h.engine->sessions().first();
    QCOMPARE(closed.endedAt, h.clock.now());
    QCOMPARE(closed.sourceType, SessionSourceType::browserDomain);
    QCOMPARE(closed.domain, u"claude.ai"_s);
}

void AppStateTest::pruneKeepsExactlyNinetyDays_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("kept");
    QTest::newRow("90 days and 1 s") << qint64(7'776'001) << false;
    QTest::newRow("exactly 90 days") << qint64(7'776'000) << true;
}

void AppStateTest::pruneKeepsExactlyNinetyDays()
{
    QFETCH(qint64, age);
    QFETCH(bool, kept);

    AiUsageSession old;
    old.startedAt = launchTime.addSecs(-age);
    old.endedAt = old.startedAt.addSecs(60);
    StoredState initial;
    initial.sessions = {old};
    Harness h(initial);
    h.start(chatGpt);
    QCOMPARE(h.engine->sessions().size(), 1); // loading and starting prune nothing
    h.monitor.bringToFront(editor); // the close prunes, measured from the close's own time

    QCOMPARE(h.engine->sessions().size(), kept ? 2 : 1);
    QCOMPARE(h.engine->sessions().last().appName, u"ChatGPT"_s);
    QCOMPARE(h.store.state.sessions, h.engine->sessions());
}

void AppStateTest::stopStoresOpenSession()
{
    StoredState initial;
    initial.settings.desktopWidgetEnabled = true;
    Harness h(initial);
    h.start(chatGpt);
    h.clock.advance(600);
    // The open session counts in today's figures before it is stored.
    QCOMPARE(h.engine->todaySummary(h.clock.now()).totalDuration, 600.0);
    QCOMPARE(h.engine->summarySnapshot(h.clock.now()).today.totalDuration, 600.0);

    h.engine->stop();
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.store.state.sessions.size(), 1);
    QCOMPARE(h.store.state.sessions.first().endedAt, launchTime.addSecs(600));
    QVERIFY(h.log.calls.contains(u"monitor.stop"_s));
    QVERIFY(!h.surfaces.widgetVisible);
}

void AppStateTest::permissionIsReadAfterStart()
{
    Harness h;
    h.notifications.state = NotificationAuthorizationState::notDetermined;
    h.start({});
    // Asked without waiting: the answer arrives after start() has returned.
    QCOMPARE(h.engine->notificationAuthorizationStatus(),
             NotificationAuthorizationState::unsupported);
    QTRY_COMPARE(h.engine->notificationAuthorizationStatus(),
                 NotificationAuthorizationState::notDetermined);
    QCOMPARE(h.log.count(u"notifications.requestAuthorization"_s), 0);
}

void AppStateTest::sleepEndsTheSessionAtTheLastObservation_data()
{
    QTest::addColumn<qint64>("slept");
    QTest::addColumn<bool>("closed");
    QTest::newRow("61 s") << qint64(61) << true;
    QTest::newRow("60 s") << qint64(60) << false;
}

void AppStateTest::sleepEndsTheSessionAtTheLastObservation()
{
    QFETCH(qint64, slept);
    QFETCH(bool, closed);

    Harness h;
    h.start(chatGpt);
    h.clock.advance(2);
    h.monitor.emitCurrentSnapshot();
    const QDateTime lastPoll = h.clock.now();
    const QUuid first = h.engine->activeSession()->id;

    h.clock.sleep(slept);
    h.clock.advance(2);
    h.monitor.emitCurrentSnapshot(); // the first poll after waking; ChatGPT is still in front

    QVERIFY(h.engine->activeSession());
    if (closed) {
        QCOMPARE(h.engine->sessions().size(), 1);
        QCOMPARE(h.engine->sessions().first().id, first);
        QCOMPARE(h.engine->sessions().first().endedAt, lastPoll);
        QCOMPARE(h.engine->activeSession()->startedAt, h.clock.now()); // use again from now
    } else {
        QVERIFY(h.engine->sessions().isEmpty());
        QCOMPARE(h.engine->activeSession()->id, first);
    }
}

void AppStateTest::lockedScreenIsNotUse()
{
    Harness h;
    h.start(chatGpt);
    h.clock.advance(300);
    const QDateTime lockTime = h.clock.now();
    h.engine->setUserAway(true);
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.engine->sessions().first().endedAt, lockTime);

    h.clock.advance(1800);
    h.monitor.emitCurrentSnapshot(); // polls go on behind the lock screen
    QVERIFY(!h.engine->activeSession());

    h.engine->setUserAway(false); // unlocking reads the foreground afresh
    QVERIFY(h.engine->activeSession());
    QCOMPARE(h.engine->activeSession()->startedAt, h.clock.now());
    QCOMPARE(h.engine->sessions().size(), 1);
}

// A closed session redraws the widget with the new total, without waiting for the tick.
void AppStateTest::everySaveRedrawsTheWidget()
{
    StoredState initial;
    initial.settings.desktopWidgetEnabled = true;
    Harness h(initial);
    h.start(chatGpt);
    h.clock.advance(600);
    h.monitor.bringToFront(editor);
    QCOMPARE(h.surfaces.widgetDuration, u"10分"_s);
}

QTEST_GUILESS_MAIN(AppStateTest)
#include "test_appstate.moc"
