#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;

namespace {

const FrontmostAppSnapshot chatGpt{QStringLiteral("chatgpt"), QStringLiteral("ChatGPT")};
const FrontmostAppSnapshot claude{QStringLiteral("claude-desktop"), QStringLiteral("Claude")};
const FrontmostAppSnapshot editor{QStringLiteral("org.gnome.TextEditor"),
                                  QStringLiteral("文本编辑器")};
const FrontmostAppSnapshot chromium{QStringLiteral("chromium"), QStringLiteral("Chromium")};
const FrontmostAppSnapshot firefox{QStringLiteral("firefox-esr"), QStringLiteral("Firefox")};
const FrontmostAppSnapshot nothing{};

const QDateTime launchTime(QDate(2026, 5, 12), QTime(9, 0), QTimeZone::utc());

struct Harness : EngineHarness {
    explicit Harness(StoredState initial = {})
        : EngineHarness(launchTime, std::move(initial))
    {}
};

AiUsageSession storedSession(const QDateTime& startedAt, const QString& name)
{
    AiUsageSession session;
    session.id = QUuid::createUuid();
    session.appName = name;
    session.sourceIdentifier = name.toLower();
    session.startedAt = startedAt;
    session.endedAt = startedAt.addSecs(60);
    return session;
}

} // namespace

class AppStateTest final : public QObject {
    Q_OBJECT

private slots:
    void launchWithToolInFrontOpensOneSession();
    void pollThenChangeOpensExactlyOneSession();
    void switchingToolsLeavesNoGap();
    void sameWebRuleInTwoBrowsersIsTwoSessions();
    void tabChangeWhileBrowserStaysInFrontClosesSession();
    void shortSessionIsStored();
    void pruneKeepsExactlyNinetyDays_data();
    void pruneKeepsExactlyNinetyDays();
    void loadedSessionsAreNotPrunedAtConstruction();
    void stopStoresOpenSessionAndSavesTwice();
    void persistAndRefreshOrder();
    void tickRedrawsWithoutSaving();
    void widgetFollowsSettingAtStart();
    void permissionIsReadAfterStart();
    void openSessionCountsInTodaysFigures();
    void monitorReportsOnlyChangesToOnChange();
    void sleepEndsTheSessionAtTheLastObservation_data();
    void sleepEndsTheSessionAtTheLastObservation();
    void lockedScreenIsNotUse();
};

void AppStateTest::launchWithToolInFrontOpensOneSession()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();

    QVERIFY(h.engine->activeSession());
    QCOMPARE(h.engine->activeSession()->displayName, QStringLiteral("ChatGPT"));
    QCOMPARE(h.engine->activeSession()->startedAt, launchTime);
    QCOMPARE(h.engine->activeSession()->sourceIdentifier, QStringLiteral("chatgpt"));
    QVERIFY(h.engine->sessions().isEmpty());
    // The session and its reminder began inside the monitor's first emission, before start()'s
    // own save.
    const qsizetype started = h.log.calls.indexOf(QStringLiteral("monitor.start"));
    QVERIFY(h.log.calls.at(started + 1).startsWith(QStringLiteral("notifications.start:ChatGPT:")));
    QCOMPARE(h.log.calls.at(started + 2), QStringLiteral("store.save"));
    QCOMPARE(h.store.saves, 3);
}

void AppStateTest::pollThenChangeOpensExactlyOneSession()
{
    Harness h;
    h.monitor.setForeground(editor);
    h.engine->start();
    const int savesBefore = h.store.saves;
    h.log.clear();

    h.monitor.bringToFront(chatGpt); // onPoll, then onChange with the same snapshot
    QVERIFY(h.engine->activeSession());
    const QUuid id = h.engine->activeSession()->id;
    QCOMPARE(h.store.saves, savesBefore + 2); // the reminder, then the new session
    QCOMPARE(h.log.count(QStringLiteral("notifications.start:ChatGPT:") +
                         id.toString(QUuid::WithoutBraces).toUpper()),
             1);
    QCOMPARE(h.log.calls.last(), QStringLiteral("surfaces.menu"));

    h.clock.advance(2);
    h.monitor.emitCurrentSnapshot(); // the next poll: unchanged, onPoll only
    QCOMPARE(h.engine->activeSession()->id, id);
    QCOMPARE(h.store.saves, savesBefore + 2);
    QVERIFY(h.engine->sessions().isEmpty());
}

void AppStateTest::switchingToolsLeavesNoGap()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    const QUuid first = h.engine->activeSession()->id;

    h.clock.advance(125);
    const QDateTime switchTime = h.clock.now();
    h.monitor.bringToFront(claude);

    QCOMPARE(h.engine->sessions().size(), 1);
    const AiUsageSession& closed = h.engine->sessions().first();
    QCOMPARE(closed.id, first);
    QCOMPARE(closed.appName, QStringLiteral("ChatGPT"));
    QCOMPARE(closed.endedAt, switchTime);
    QVERIFY(h.engine->activeSession());
    QCOMPARE(h.engine->activeSession()->displayName, QStringLiteral("Claude"));
    QCOMPARE(h.engine->activeSession()->startedAt, switchTime);
    QCOMPARE(h.store.state.sessions, h.engine->sessions());

    h.clock.advance(10);
    h.monitor.bringToFront(nothing);
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.engine->sessions().size(), 2);
    QCOMPARE(h.engine->sessions().last().endedAt, h.clock.now());
}

void AppStateTest::sameWebRuleInTwoBrowsersIsTwoSessions()
{
    Harness h;
    h.detector.setActiveTab(QStringLiteral("chromium"), QStringLiteral("claude.ai"));
    h.detector.setActiveTab(QStringLiteral("firefox-esr"), QStringLiteral("claude.ai"));
    h.monitor.setForeground(chromium);
    h.engine->start();
    h.clock.advance(30);
    h.monitor.bringToFront(firefox);
    h.clock.advance(30);
    h.engine->stop();

    const QList<AiUsageSession>& sessions = h.engine->sessions();
    QCOMPARE(sessions.size(), 2);
    QCOMPARE(sessions.at(0).sourceIdentifier, QStringLiteral("chromium::claude.ai"));
    QCOMPARE(sessions.at(1).sourceIdentifier, QStringLiteral("firefox-esr::claude.ai"));
    QCOMPARE(sessions.at(1).browserName, QStringLiteral("Firefox"));
    QCOMPARE(sessions.at(1).domain, QStringLiteral("claude.ai"));
    QCOMPARE(sessions.at(1).sourceType, SessionSourceType::browserDomain);
    QCOMPARE(sessions.at(1).appName, QStringLiteral("Claude 网页"));
}

void AppStateTest::tabChangeWhileBrowserStaysInFrontClosesSession()
{
    Harness h;
    h.detector.setActiveTab(QStringLiteral("chromium"), QStringLiteral("chatgpt.com"));
    h.monitor.setForeground(chromium);
    h.engine->start();
    QVERIFY(h.engine->activeSession());

    h.clock.advance(4);
    h.detector.setActiveTab(QStringLiteral("chromium"), QStringLiteral("example.org"));
    h.monitor.emitCurrentSnapshot(); // the poll sees the same application
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.engine->sessions().size(), 1);
    QCOMPARE(h.engine->sessions().first().endedAt, h.clock.now());
}

void AppStateTest::shortSessionIsStored()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.clock.advanceMs(300);
    h.monitor.bringToFront(editor);
    QCOMPARE(h.engine->sessions().size(), 1);
    QCOMPARE(h.engine->sessions().first().startedAt.msecsTo(h.engine->sessions().first().endedAt),
             300);
}

void AppStateTest::pruneKeepsExactlyNinetyDays_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("kept");
    QTest::newRow("90 days and 1 s") << qint64(7'776'001) << false;
    QTest::newRow("exactly 90 days") << qint64(7'776'000) << true;
    QTest::newRow("89 days") << qint64(7'689'600) << true;
    QTest::newRow("a year") << qint64(31'536'000) << false;
}

void AppStateTest::pruneKeepsExactlyNinetyDays()
{
    QFETCH(qint64, age);
    QFETCH(bool, kept);

    StoredState initial;
    initial.sessions = {storedSession(launchTime.addSecs(-age), QStringLiteral("Old"))};
    Harness h(initial);
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.monitor.bringToFront(editor); // the close prunes, measured from the close's own time

    QCOMPARE(h.engine->sessions().size(), kept ? 2 : 1);
    QCOMPARE(h.engine->sessions().last().appName, QStringLiteral("ChatGPT"));
    QCOMPARE(h.store.state.sessions.size(), h.engine->sessions().size());
}

void AppStateTest::loadedSessionsAreNotPrunedAtConstruction()
{
    StoredState initial;
    initial.sessions = {storedSession(launchTime.addDays(-200), QStringLiteral("Old"))};
    Harness h(initial);
    h.engine->start();
    QCOMPARE(h.engine->sessions().size(), 1);
    QCOMPARE(h.store.state.sessions.size(), 1);
}

void AppStateTest::stopStoresOpenSessionAndSavesTwice()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.clock.advance(600);
    const int savesBefore = h.store.saves;
    h.log.clear();

    h.engine->stop();
    QCOMPARE(h.store.saves, savesBefore + 2);
    QVERIFY(!h.engine->activeSession());
    QCOMPARE(h.store.state.sessions.size(), 1);
    QCOMPARE(h.store.state.sessions.first().endedAt, launchTime.addSecs(600));
    QCOMPARE(h.log.calls.last(), QStringLiteral("store.save"));
    QVERIFY(h.log.calls.contains(QStringLiteral("monitor.stop")));
}

void AppStateTest::persistAndRefreshOrder()
{
    StoredState initial;
    initial.settings.desktopWidgetEnabled = true;
    Harness h(initial);
    h.engine->start();
    h.log.clear();
    h.engine->persistAndRefresh();
    QCOMPARE(h.log.calls, QStringList({"store.save", "surfaces.settings", "surfaces.summary",
                                       "widget.content", "surfaces.menu"}));
}

void AppStateTest::tickRedrawsWithoutSaving()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.log.clear();
    h.clock.advance(30);
    h.engine->tick();
    QCOMPARE(h.log.count(QStringLiteral("store.save")), 0);
    QCOMPARE(h.log.calls, QStringList({"surfaces.summary", "surfaces.menu"}));
}

void AppStateTest::widgetFollowsSettingAtStart()
{
    StoredState initial;
    initial.settings.desktopWidgetEnabled = true;
    Harness h(initial);
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    QVERIFY(h.surfaces.widgetVisible);
    QCOMPARE(h.log.count(QStringLiteral("widget.create+show")), 1);
    h.clock.advance(90);
    h.engine->tick();
    QCOMPARE(h.surfaces.widgetDuration, QStringLiteral("1分"));

    h.engine->stop();
    QVERIFY(!h.surfaces.widgetVisible);

    Harness off;
    off.engine->start();
    QCOMPARE(off.log.count(QStringLiteral("widget.create+show")), 0);
    QCOMPARE(off.log.count(QStringLiteral("widget.content")), 0);
}

void AppStateTest::permissionIsReadAfterStart()
{
    Harness h;
    h.notifications.state = NotificationAuthorizationState::authorized;
    h.engine->start();
    // Asked without waiting: the answer arrives after start() has returned.
    QCOMPARE(h.engine->notificationAuthorizationStatus(),
             NotificationAuthorizationState::unsupported);
    QTRY_COMPARE(h.engine->notificationAuthorizationStatus(),
                 NotificationAuthorizationState::authorized);
    QCOMPARE(h.log.count(QStringLiteral("notifications.requestAuthorization")), 0);
}

void AppStateTest::openSessionCountsInTodaysFigures()
{
    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.clock.advance(600);
    const DailySummary today = h.engine->todaySummary(h.clock.now());
    QCOMPARE(today.totalDuration, 600.0);
    QCOMPARE(today.launchCount, 1);
    QCOMPARE(h.engine->summarySnapshot(h.clock.now()).today.totalDuration, 600.0);
    QVERIFY(h.engine->sessions().isEmpty()); // counting it stores nothing
}

void AppStateTest::monitorReportsOnlyChangesToOnChange()
{
    CallLog log;
    ScriptedMonitor monitor(log);
    QList<FrontmostAppSnapshot> polls;
    QList<FrontmostAppSnapshot> changes;
    monitor.setOnPoll([&](const FrontmostAppSnapshot& s) { polls.append(s); });
    monitor.setOnChange([&](const FrontmostAppSnapshot& s) { changes.append(s); });

    monitor.setForeground(chatGpt);
    monitor.start();
    QCOMPARE(polls.size(), 1);
    QCOMPARE(changes.size(), 1);

    monitor.stop();
    monitor.start(); // same foreground after a restart: onPoll only
    QCOMPARE(polls.size(), 2);
    QCOMPARE(changes.size(), 1);

    // A name without an identifier differs from the same name with one.
    monitor.bringToFront({std::nullopt, QStringLiteral("ChatGPT")});
    monitor.bringToFront(nothing);
    QCOMPARE(changes.size(), 3);
    QCOMPARE(changes.last(), nothing);
    QCOMPARE(*monitor.lastSnapshot(), nothing);
}

void AppStateTest::sleepEndsTheSessionAtTheLastObservation_data()
{
    QTest::addColumn<qint64>("slept");
    QTest::addColumn<bool>("closed");
    QTest::newRow("a night") << qint64(8 * 3600) << true;
    QTest::newRow("61 s") << qint64(61) << true;
    QTest::newRow("60 s") << qint64(60) << false;
    QTest::newRow("a clock adjustment of 5 s") << qint64(5) << false;
}

void AppStateTest::sleepEndsTheSessionAtTheLastObservation()
{
    QFETCH(qint64, slept);
    QFETCH(bool, closed);

    Harness h;
    h.monitor.setForeground(chatGpt);
    h.engine->start();
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
    h.monitor.setForeground(chatGpt);
    h.engine->start();
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

QTEST_GUILESS_MAIN(AppStateTest)
#include "test_appstate.moc"
