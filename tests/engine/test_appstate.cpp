#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QDateTime launchTime(QDate(2026, 5, 12), QTime(9, 0), QTimeZone::utc());

const QHash<QString, FrontmostAppSnapshot> apps{
    {u"chatgpt"_s, {u"chatgpt"_s, u"ChatGPT"_s}},
    {u"claude"_s, {u"claude-desktop"_s, u"Claude"_s}},
    {u"editor"_s, {u"org.gnome.TextEditor"_s, u"文本编辑器"_s}},
    {u"chromium"_s, {u"chromium"_s, u"Chromium"_s}},
};

QString secondsAfterLaunch(const QDateTime& at)
{
    return QString::number(launchTime.msecsTo(at) / 1000.0, 'g', 10);
}

QStringList hostsOf(const AppState& engine)
{
    QStringList hosts;
    for (const BrowserDomainRule& rule : engine.settings().browserDomainRules)
        hosts.append(rule.host + u'=' + rule.displayName + u'/' + rule.symbolName);
    return hosts;
}

} // namespace

class AppStateTest final : public QObject {
    Q_OBJECT

private slots:
    void sessions_data();
    void sessions();
    void permissionIsReadAfterStart();
    void editsWebRules_data();
    void editsWebRules();
    void timesKeepTheLocalHourAndMinute();
    void windowCommandsRunAfterTheCurrentEvent();
    void permissionFlow_data();
    void permissionFlow();
};

// Each row is a script of steps separated by "; ", run in order (wall-clock seconds since the
// launch):
//   before start: "old S" (a stored 60 s session that began S seconds before the launch),
//                 "widget on" (the desktop widget enabled in the stored settings);
//   "start [APP]" (the engine starts with APP, or nothing, in front), "front APP" (an
//   observation with APP in front: an activation, or a poll if APP was in front already), "tab URL"
//   (Chromium's active tab), "wait S" (time passes), "sleep S" (the machine sleeps: only the wall
//   clock moves), "away on|off" (screen locked), "web on|off", "desktop on|off", "widget on|off",
//   "menu" (the widget's menu toggle), "stop"; checks: "today S" (today's total with the open
//   session), "shows [TEXT]" (the widget's duration, nothing when hidden).
// Then the stored sessions and the open one read "name[@domain] from-to" ("from-" while open);
// each session begun since the launch had exactly one start reminder, naming it; and the store
// holds what the engine holds.
void AppStateTest::sessions_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");

    QTest::newRow("change, then poll: one session, one reminder")
        << u"start editor; front chatgpt; wait 2; front chatgpt"_s << u"ChatGPT 0-"_s;
    QTest::newRow("switching tools leaves no gap; under a second is stored")
        << u"start chatgpt; wait 0.3; front claude"_s << u"ChatGPT 0-0.3; Claude 0.3-"_s;
    QTest::newRow("tab change while the browser stays in front")
        << u"tab https://claude.ai/; start chromium; wait 4; tab https://example.org/; front chromium"_s
        << u"Claude 网页@claude.ai 0-4"_s;
    // Each switch reads the foreground again at once, without waiting for the next poll.
    QTest::newRow("web monitoring off and on")
        << u"tab https://chatgpt.com/; start chromium; web off; web on"_s
        << u"ChatGPT 网页@chatgpt.com 0-0; ChatGPT 网页@chatgpt.com 0-"_s;
    QTest::newRow("desktop monitoring off and on")
        << u"start chatgpt; desktop off; desktop on"_s << u"ChatGPT 0-0; ChatGPT 0-"_s;
    QTest::newRow("loading and starting prune nothing")
        << u"old 7776001; start chatgpt"_s << u"Old -7776001--7775941; ChatGPT 0-"_s;
    QTest::newRow("a close prunes what began over 90 days before")
        << u"old 7776001; start chatgpt; front editor"_s << u"ChatGPT 0-0"_s;
    QTest::newRow("a close keeps exactly 90 days")
        << u"old 7776000; start chatgpt; front editor"_s << u"Old -7776000--7775940; ChatGPT 0-0"_s;
    QTest::newRow("stop stores the open session, counted today before")
        << u"widget on; start chatgpt; wait 600; today 600; stop; shows"_s << u"ChatGPT 0-600"_s;
    // A closed session redraws the widget with the new total, without waiting for the tick.
    QTest::newRow("every save redraws the widget")
        << u"widget on; start chatgpt; wait 600; front editor; shows 10分"_s << u"ChatGPT 0-600"_s;
    QTest::newRow("widget from the menu, hidden and shown again")
        << u"start; menu; shows 0秒; widget off; shows; widget on; shows 0秒"_s << QString();
    // A wake is seen as wall time passing beyond the monotonic clock between two observations.
    QTest::newRow("sleep over a minute ends the session at the last observation")
        << u"start chatgpt; wait 2; front chatgpt; sleep 61; wait 2; front chatgpt"_s
        << u"ChatGPT 0-2; ChatGPT 65-"_s;
    QTest::newRow("sleep of a minute does not")
        << u"start chatgpt; wait 2; front chatgpt; sleep 60; wait 2; front chatgpt"_s
        << u"ChatGPT 0-"_s;
    // Polls go on behind the lock screen; unlocking reads the foreground afresh.
    QTest::newRow("a locked screen is not use")
        << u"start chatgpt; wait 300; away on; wait 1800; front chatgpt; wait 60; away off"_s
        << u"ChatGPT 0-300; ChatGPT 2160-"_s;
}

void AppStateTest::sessions()
{
    QFETCH(QString, steps);
    QFETCH(QString, expected);

    StoredState initial;
    std::optional<EngineHarness> h;
    for (const QString& step : steps.split(u"; "_s)) {
        const QString verb = step.section(u' ', 0, 0);
        const QString arg = step.section(u' ', 1);
        const bool on = arg == u"on"_s;
        if (verb == u"old"_s) {
            AiUsageSession old;
            old.appName = u"Old"_s;
            old.startedAt = launchTime.addSecs(-arg.toLongLong());
            old.endedAt = old.startedAt.addSecs(60);
            initial.sessions.append(old);
            continue;
        }
        if (verb == u"widget"_s && !h) {
            initial.settings.desktopWidgetEnabled = on;
            continue;
        }
        if (!h)
            h.emplace(launchTime, initial);
        if (verb == u"start"_s) {
            h->monitor.foreground = apps.value(arg);
            h->engine->start();
        } else if (verb == u"front"_s) {
            h->monitor.foreground = apps.value(arg);
            h->monitor.emitCurrentSnapshot();
        } else if (verb == u"tab"_s) {
            h->tabs.setActiveTab(u"chromium"_s, arg);
        } else if (verb == u"wait"_s) {
            h->clock.set(h->clock.now().addMSecs(qRound64(arg.toDouble() * 1000)));
        } else if (verb == u"sleep"_s) {
            h->clock.sleep(arg.toLongLong());
        } else if (verb == u"away"_s) {
            h->engine->setUserAway(on);
        } else if (verb == u"web"_s) {
            h->engine->setWebMonitoringEnabled(on);
        } else if (verb == u"desktop"_s) {
            h->engine->setDesktopMonitoringEnabled(on);
        } else if (verb == u"widget"_s) {
            h->engine->setDesktopWidgetEnabled(on);
        } else if (verb == u"menu"_s) {
            h->engine->toggleDesktopWidgetFromMenu();
        } else if (verb == u"stop"_s) {
            h->engine->stop();
            QCOMPARE(h->log.count(u"monitor.stop"_s), 1);
        } else if (verb == u"today"_s) {
            QCOMPARE(h->engine->todaySummary(h->clock.now()).totalDuration, arg.toDouble());
            QCOMPARE(h->engine->summarySnapshot(h->clock.now()).today.totalDuration,
                     arg.toDouble());
        } else if (verb == u"shows"_s) {
            QCOMPARE(h->surfaces.widgetVisible == true ? h->surfaces.widgetDuration : QString(),
                     arg);
        } else {
            QFAIL(qPrintable(u"unknown step: "_s + step));
        }
    }

    QStringList seen, reminders;
    const auto add = [&](const QString& name, const std::optional<QString>& domain, const QUuid& id,
                         const QDateTime& from, const QString& to) {
        seen.append(u"%1%2 %3-%4"_s.arg(name, domain ? u"@"_s + *domain : QString(),
                                        secondsAfterLaunch(from), to));
        if (from >= launchTime)
            reminders.append(u"notifications.start:%1:%2"_s.arg(
                name, id.toString(QUuid::WithoutBraces).toUpper()));
    };
    for (const AiUsageSession& s : h->engine->sessions())
        add(s.appName, s.domain, s.id, s.startedAt, secondsAfterLaunch(s.endedAt));
    if (const auto& open = h->engine->activeSession())
        add(open->displayName, open->domain, open->id, open->startedAt, QString());
    QCOMPARE(seen.join(u"; "_s), expected);
    QCOMPARE(h->log.filter(u"notifications.start:"_s), reminders);
    QCOMPARE(h->store.state.sessions, h->engine->sessions());
}

void AppStateTest::permissionIsReadAfterStart()
{
    EngineHarness h(launchTime);
    h.notifications.state = NotificationAuthorizationState::notDetermined;
    h.engine->start();
    // Asked without waiting: the answer arrives after start() has returned.
    QCOMPARE(h.engine->notificationAuthorizationStatus(),
             NotificationAuthorizationState::unsupported);
    QTRY_COMPARE(h.engine->notificationAuthorizationStatus(),
                 NotificationAuthorizationState::notDetermined);
}

void AppStateTest::editsWebRules_data()
{
    QTest::addColumn<QString>("name"); // none: the host is removed
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("expected");

    const QString alpha = u"alpha.ai=alpha/globe"_s, zeta = u"zeta.ai=Zeta/sparkles"_s;
    QTest::newRow("new host: added, then sorted by name ignoring case")
        << u"Mid"_s << u" https://Mid.example.com/chat "_s
        << QStringList{alpha, u"mid.example.com=Mid/globe"_s, zeta};
    QTest::newRow("known host in other case: replaced in place, not sorted")
        << u"Zeta Pro"_s << u"ZETA.AI"_s << QStringList{u"zeta.ai=Zeta Pro/globe"_s, alpha};
    QTest::newRow("blank name: the host is the name")
        << u"   "_s << u"poe.com/"_s << QStringList{alpha, u"poe.com=poe.com/globe"_s, zeta};
    QTest::newRow("host normalises to nothing: nothing changes")
        << u"Nothing"_s << u" ./ "_s << QStringList{zeta, alpha};
    QTest::newRow("removed ignoring case") << QString() << u"ALPHA.AI"_s << QStringList{zeta};
}

void AppStateTest::editsWebRules()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QStringList, expected);

    StoredState state;
    state.settings.browserDomainRules = {{u"zeta.ai"_s, u"Zeta"_s, u"sparkles"_s},
                                         {u"alpha.ai"_s, u"alpha"_s, u"globe"_s}};
    EngineHarness h(launchTime, state);
    if (name.isNull())
        h.engine->removeBrowserDomainRule(host);
    else
        h.engine->addBrowserDomainRule(name, host);
    QCOMPARE(hostsOf(*h.engine), expected);
    QCOMPARE(h.store.state.settings, h.engine->settings());
}

void AppStateTest::timesKeepTheLocalHourAndMinute()
{
    const QTimeZone zone("Europe/Berlin");
    EngineHarness h(launchTime, {}, zone);
    h.engine->setQuietHoursStart(QDateTime(QDate(2030, 1, 9), QTime(22, 45, 59), zone));
    h.engine->setQuietHoursEnd(QDateTime(QDate(2026, 6, 3), QTime(6, 5), QTimeZone::utc()));
    h.engine->setDailySummaryTime(QDateTime()); // unreadable: keeps the previous values
    const AppSettings& s = h.engine->settings();
    QCOMPARE(QTime(s.quietHoursStartHour, s.quietHoursStartMinute), QTime(22, 45));
    QCOMPARE(QTime(s.quietHoursEndHour, s.quietHoursEndMinute), QTime(8, 5)); // summer time
    QCOMPARE(QTime(s.dailySummaryHour, s.dailySummaryMinute), QTime(20, 0));
}

void AppStateTest::windowCommandsRunAfterTheCurrentEvent()
{
    EngineHarness h(launchTime);
    h.engine->openSettingsWindow();
    h.engine->sendManualDailySummary();
    QCOMPARE(h.log.count(u"surfaces.showSettings"_s), 0);
    QTRY_COMPARE(h.log.count(u"surfaces.showSummary"_s), 1);
    QCOMPARE(h.log.count(u"surfaces.showSettings"_s), 1);
    QCOMPARE(h.log.count(u"notifications.dailySummary"_s), 0);

    // Queued work is dropped when the engine is gone.
    h.engine->openSettingsWindow();
    h.engine.reset();
    QCoreApplication::processEvents();
    QCOMPARE(h.log.count(u"surfaces.showSettings"_s), 1);
}

void AppStateTest::permissionFlow_data()
{
    using S = NotificationAuthorizationState;
    QTest::addColumn<S>("current");
    QTest::addColumn<S>("afterRequest");
    QTest::addColumn<QStringList>("calls");

    const QString status = u"notifications.authorizationStatus"_s;
    const QString request = u"notifications.requestAuthorization"_s;
    const QString settings = u"notifications.openSystemSettings"_s;
    const QString help = u"surfaces.help"_s;
    QTest::newRow("authorized") << S::authorized << S::authorized << QStringList{status};
    QTest::newRow("unsupported") << S::unsupported << S::unsupported << QStringList{status};
    QTest::newRow("denied") << S::denied << S::denied << QStringList{status, settings, help};
    QTest::newRow("undetermined, then granted")
        << S::notDetermined << S::authorized << QStringList{status, request};
    QTest::newRow("undetermined, then refused")
        << S::notDetermined << S::denied << QStringList{status, request, settings, help};
}

void AppStateTest::permissionFlow()
{
    QFETCH(NotificationAuthorizationState, current);
    QFETCH(NotificationAuthorizationState, afterRequest);
    QFETCH(QStringList, calls);

    EngineHarness h(launchTime);
    h.notifications.state = current;
    h.notifications.stateAfterRequest = afterRequest;
    h.engine->requestNotificationAuthorization();
    QCOMPARE(h.log, calls);
    QCOMPARE(h.engine->notificationAuthorizationStatus(), afterRequest);
}

QTEST_GUILESS_MAIN(AppStateTest)
#include "test_appstate.moc"
