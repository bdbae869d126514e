#include "fakes/engineharness.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvo;

namespace {

const QDateTime now(QDate(2026, 6, 3), QTime(10, 0), QTimeZone::utc());

QStringList hostsOf(const AppState& engine)
{
    QStringList hosts;
    for (const BrowserDomainRule& rule : engine.settings().browserDomainRules)
        hosts.append(rule.host + QLatin1Char('=') + rule.displayName + QLatin1Char('/') +
                     rule.symbolName);
    return hosts;
}

StoredState withWebRules(const QList<BrowserDomainRule>& rules)
{
    StoredState state;
    state.settings.browserDomainRules = rules;
    return state;
}

const QList<BrowserDomainRule> twoRules{
    {QStringLiteral("zeta.ai"), QStringLiteral("Zeta"), QStringLiteral("sparkles")},
    {QStringLiteral("alpha.ai"), QStringLiteral("alpha"), QStringLiteral("globe")},
};

} // namespace

class CommandsTest final : public QObject {
    Q_OBJECT

private slots:
    void addsWebRules_data();
    void addsWebRules();
    void removesWebRulesIgnoringCase();
    void desktopRulesAreAddedAsGivenAndRemovedById();
    void timesKeepOnlyHourAndMinute();
    void monitoringSwitchesTakeEffectAtOnce();
    void widgetIsCreatedOnceThenHiddenAndShown();
    void appearanceReachesTheSurfaces();
    void windowCommandsRunAfterTheCurrentEvent();
    void permissionFlow_data();
    void permissionFlow();
    void testNotificationRereadsPermission();
    void quitAsksTheApplicationToEnd();
};

void CommandsTest::addsWebRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("saved");

    QTest::newRow("new host: appended, then sorted by name ignoring case")
        << "Mid"
        << " https://Mid.example.com/chat "
        << QStringList{"alpha.ai=alpha/globe", "mid.example.com=Mid/globe", "zeta.ai=Zeta/sparkles"}
        << true;
    QTest::newRow("known host in other case: replaced in place, not sorted")
        << "Zeta Pro"
        << "ZETA.AI" << QStringList{"zeta.ai=Zeta Pro/globe", "alpha.ai=alpha/globe"} << true;
    QTest::newRow("blank name: the host is the name")
        << "   "
        << "poe.com/"
        << QStringList{"alpha.ai=alpha/globe", "poe.com=poe.com/globe", "zeta.ai=Zeta/sparkles"}
        << true;
    QTest::newRow("host normalises to nothing: nothing changes")
        << "Nothing"
        << " ./ " << QStringList{"zeta.ai=Zeta/sparkles", "alpha.ai=alpha/globe"} << false;
}

void CommandsTest::addsWebRules()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QStringList, expected);
    QFETCH(bool, saved);

    EngineHarness h(now, withWebRules(twoRules));
    h.engine->addBrowserDomainRule(name, host);
    QCOMPARE(hostsOf(*h.engine), expected);
    QCOMPARE(h.store.saves, saved ? 1 : 0);
}

void CommandsTest::removesWebRulesIgnoringCase()
{
    QList<BrowserDomainRule> rules = twoRules;
    rules.append(
        {QStringLiteral("Alpha.AI"), QStringLiteral("Alpha again"), QStringLiteral("globe")});
    EngineHarness h(now, withWebRules(rules));
    h.engine->removeBrowserDomainRule(QStringLiteral("alpha.ai"));
    QCOMPARE(hostsOf(*h.engine), QStringList{"zeta.ai=Zeta/sparkles"});
    QCOMPARE(h.store.saves, 1);
}

void CommandsTest::desktopRulesAreAddedAsGivenAndRemovedById()
{
    EngineHarness h(now);
    const qsizetype before = h.engine->settings().monitoredApps.size();
    for (int i = 0; i < 2; ++i)
        h.engine->addMonitoredApp(QStringLiteral(" Kimi "), AppMatchStrategy::bundleIdentifier,
                                  QStringLiteral("kimi"));
    const QList<MonitoredAppRule>& rules = h.engine->settings().monitoredApps;
    QCOMPARE(rules.size(), before + 2);
    QVERIFY(rules.at(before).id != rules.at(before + 1).id);
    QCOMPARE(rules.last().displayName, QStringLiteral(" Kimi "));

    const QUuid removed = rules.at(before).id;
    h.engine->removeMonitoredApp(removed);
    QCOMPARE(h.engine->settings().monitoredApps.size(), before + 1);
    QCOMPARE(h.store.state.settings.monitoredApps, h.engine->settings().monitoredApps);
}

void CommandsTest::timesKeepOnlyHourAndMinute()
{
    const QTimeZone zone("Europe/Berlin");
    EngineHarness h(now, {}, zone);
    h.engine->setQuietHoursStart(QDateTime(QDate(2030, 1, 9), QTime(22, 45, 59), zone));
    h.engine->setQuietHoursEnd(QDateTime(QDate(2026, 6, 3), QTime(6, 5), QTimeZone::utc()));
    h.engine->setDailySummaryTime(QDateTime()); // unreadable: keeps the previous values
    const AppSettings& s = h.engine->settings();
    QCOMPARE(s.quietHoursStartHour, 22);
    QCOMPARE(s.quietHoursStartMinute, 45);
    QCOMPARE(s.quietHoursEndHour, 8); // 06:05 UTC is 08:05 in Berlin in June
    QCOMPARE(s.quietHoursEndMinute, 5);
    QCOMPARE(s.dailySummaryHour, 20);
    QCOMPARE(h.store.saves, 3);
}

void CommandsTest::monitoringSwitchesTakeEffectAtOnce()
{
    EngineHarness h(now);
    h.detector.setActiveTab(QStringLiteral("chromium"), QStringLiteral("chatgpt.com"));
    h.monitor.setForeground({QStringLiteral("chromium"), QStringLiteral("Chromium")});
    h.engine->start();
    QVERIFY(h.engine->activeSession());

    const int saves = h.store.saves;
    h.engine->toggleWebMonitoringFromMenu();
    QVERIFY(!h.engine->settings().webMonitoringEnabled);
    QVERIFY(!h.engine->activeSession()); // the re-read foreground no longer resolves
    h.engine->toggleWebMonitoringFromMenu();
    QVERIFY(h.engine->settings().webMonitoringEnabled);
    QVERIFY(h.engine->activeSession());
    QCOMPARE(h.engine->sessions().size(), 1);
    QVERIFY(h.store.saves >= saves + 2);
    QVERIFY(h.store.state.settings.webMonitoringEnabled);

    h.engine->setDesktopMonitoringEnabled(false);
    h.monitor.bringToFront({QStringLiteral("chatgpt"), QStringLiteral("ChatGPT")});
    QVERIFY(!h.engine->activeSession());
}

void CommandsTest::widgetIsCreatedOnceThenHiddenAndShown()
{
    EngineHarness h(now);
    h.engine->start();
    h.log.clear();
    h.engine->toggleDesktopWidgetFromMenu();
    QVERIFY(h.surfaces.widgetVisible);
    h.engine->setDesktopWidgetEnabled(false);
    QVERIFY(!h.surfaces.widgetVisible);
    h.engine->setDesktopWidgetEnabled(true);
    QCOMPARE(h.log.count(QStringLiteral("widget.create+show")), 1);
    QCOMPARE(h.log.count(QStringLiteral("widget.hide")), 1);
    QCOMPARE(h.log.count(QStringLiteral("widget.show")), 1);
    QCOMPARE(h.surfaces.widgetDuration, QStringLiteral("0秒"));
}

void CommandsTest::appearanceReachesTheSurfaces()
{
    StoredState state;
    state.settings.appearanceMode = AppearanceMode::dark;
    EngineHarness h(now, state);
    h.engine->start();
    QCOMPARE(h.log.calls.first(), QStringLiteral("surfaces.appearance:dark"));
    h.engine->setAppearanceMode(AppearanceMode::system);
    QVERIFY(h.log.calls.contains(QStringLiteral("surfaces.appearance:system")));
    QCOMPARE(h.store.state.settings.appearanceMode, AppearanceMode::system);
}

void CommandsTest::windowCommandsRunAfterTheCurrentEvent()
{
    EngineHarness h(now);
    h.engine->openSettingsWindow();
    h.engine->sendManualDailySummary();
    QCOMPARE(h.log.count(QStringLiteral("surfaces.showSettings")), 0);
    QTRY_COMPARE(h.log.count(QStringLiteral("surfaces.showSummary")), 1);
    QCOMPARE(h.log.count(QStringLiteral("surfaces.showSettings")), 1);
    QCOMPARE(h.log.count(QStringLiteral("notifications.dailySummary")), 0);

    // Queued work is dropped when the engine is gone.
    h.engine->openSettingsWindow();
    h.engine.reset();
    QCoreApplication::processEvents();
    QCOMPARE(h.log.count(QStringLiteral("surfaces.showSettings")), 1);
}

void CommandsTest::permissionFlow_data()
{
    using S = NotificationAuthorizationState;
    QTest::addColumn<S>("current");
    QTest::addColumn<S>("afterRequest");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<S>("stored");

    const QString status = QStringLiteral("notifications.authorizationStatus");
    const QString request = QStringLiteral("notifications.requestAuthorization");
    const QString settings = QStringLiteral("notifications.openSystemSettings");
    const QString help = QStringLiteral("surfaces.setupHelp");
    QTest::newRow("authorized") << S::authorized << S::authorized << QStringList{status}
                                << S::authorized;
    QTest::newRow("unsupported") << S::unsupported << S::unsupported << QStringList{status}
                                 << S::unsupported;
    QTest::newRow("denied") << S::denied << S::denied << QStringList{status, settings, help}
                            << S::denied;
    QTest::newRow("undetermined, then granted")
        << S::notDetermined << S::authorized << QStringList{status, request} << S::authorized;
    QTest::newRow("undetermined, then refused")
        << S::notDetermined << S::denied << QStringList{status, request, settings, help}
        << S::denied;
}

void CommandsTest::permissionFlow()
{
    QFETCH(NotificationAuthorizationState, current);
    QFETCH(NotificationAuthorizationState, afterRequest);
    QFETCH(QStringList, calls);
    QFETCH(NotificationAuthorizationState, stored);

    EngineHarness h(now);
    h.notifications.state = current;
    h.notifications.stateAfterRequest = afterRequest;
    h.engine->requestNotificationAuthorization();
    QStringList seen = h.log.calls;
    seen.removeAll(QStringLiteral("surfaces.settings"));
    QCOMPARE(seen, calls);
    QCOMPARE(h.engine->notificationAuthorizationStatus(), stored);
}

void CommandsTest::testNotificationRereadsPermission()
{
    EngineHarness h(now);
    h.notifications.state = NotificationAuthorizationState::unsupported;
    h.engine->sendTestNotification();
    QCOMPARE(h.log.calls, QStringList{"notifications.test"});
    QTRY_COMPARE(h.log.count(QStringLiteral("notifications.authorizationStatus")), 1);
    QCOMPARE(h.log.count(QStringLiteral("notifications.requestAuthorization")), 0);
}

void CommandsTest::quitAsksTheApplicationToEnd()
{
    EngineHarness h(now);
    QSignalSpy quit(h.engine.get(), &AppState::quitRequested);
    h.engine->quitApp();
    QCOMPARE(quit.count(), 1);
}

QTEST_GUILESS_MAIN(CommandsTest)
#include "test_commands.moc"
