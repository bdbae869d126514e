#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QDateTime now(QDate(2026, 6, 3), QTime(10, 0), QTimeZone::utc());

QStringList hostsOf(const AppState& engine)
{
    QStringList hosts;
    for (const BrowserDomainRule& rule : engine.settings().browserDomainRules)
        hosts.append(rule.host + u'=' + rule.displayName + u'/' + rule.symbolName);
    return hosts;
}

const QList<BrowserDomainRule> twoRules{
    {u"zeta.ai"_s, u"Zeta"_s, u"sparkles"_s},
    {u"alpha.ai"_s, u"alpha"_s, u"globe"_s},
};

} // namespace

class CommandsTest final : public QObject {
    Q_OBJECT

private slots:
    void editsWebRules_data();
    void editsWebRules();
    void timesKeepTheLocalHourAndMinute();
    void windowCommandsRunAfterTheCurrentEvent();
    void permissionFlow_data();
    void permissionFlow();
};

void CommandsTest::editsWebRules_data()
{
    QTest::addColumn<QString>("name"); // none: the host is removed
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("saved");

    const QString alpha = u"alpha.ai=alpha/globe"_s, zeta = u"zeta.ai=Zeta/sparkles"_s;
    QTest::newRow("new host: added, then sorted by name ignoring case")
        << u"Mid"_s << u" https://Mid.example.com/chat "_s
        << QStringList{alpha, u"mid.example.com=Mid/globe"_s, zeta} << true;
    QTest::newRow("known host in other case: replaced in place, not sorted")
        << u"Zeta Pro"_s << u"ZETA.AI"_s << QStringList{u"zeta.ai=Zeta Pro/globe"_s, alpha} << true;
    QTest::newRow("blank name: the host is the name")
        << u"   "_s << u"poe.com/"_s << QStringList{alpha, u"poe.com=poe.com/globe"_s, zeta}
        << true;
    QTest::newRow("host normalises to nothing: nothing changes")
        << u"Nothing"_s << u" ./ "_s << QStringList{zeta, alpha} << false;
    QTest::newRow("removed ignoring case")
        << QString() << u"ALPHA.AI"_s << QStringList{zeta} << true;
}

void CommandsTest::editsWebRules()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QStringList, expected);
    QFETCH(bool, saved);

    StoredState state;
    state.settings.browserDomainRules = twoRules;
    EngineHarness h(now, state);
    if (name.isNull())
        h.engine->removeBrowserDomainRule(host);
    else
        h.engine->addBrowserDomainRule(name, host);
    QCOMPARE(hostsOf(*h.engine), expected);
    QCOMPARE(h.store.saves, saved ? 1 : 0);
}

void CommandsTest::timesKeepTheLocalHourAndMinute()
{
    const QTimeZone zone("Europe/Berlin");
    EngineHarness h(now, {}, zone);
    h.engine->setQuietHoursStart(QDateTime(QDate(2030, 1, 9), QTime(22, 45, 59), zone));
    h.engine->setQuietHoursEnd(QDateTime(QDate(2026, 6, 3), QTime(6, 5), QTimeZone::utc()));
    h.engine->setDailySummaryTime(QDateTime()); // unreadable: keeps the previous values
    const AppSettings& s = h.engine->settings();
    QCOMPARE(QTime(s.quietHoursStartHour, s.quietHoursStartMinute), QTime(22, 45));
    QCOMPARE(QTime(s.quietHoursEndHour, s.quietHoursEndMinute), QTime(8, 5)); // summer time
    QCOMPARE(QTime(s.dailySummaryHour, s.dailySummaryMinute), QTime(20, 0));
}

void CommandsTest::windowCommandsRunAfterTheCurrentEvent()
{
    EngineHarness h(now);
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

void CommandsTest::permissionFlow_data()
{
    using S = NotificationAuthorizationState;
    QTest::addColumn<S>("current");
    QTest::addColumn<S>("afterRequest");
    QTest::addColumn<QStringList>("calls");

    const QString status = u"notifications.authorizationStatus"_s;
    const QString request = u"notifications.requestAuthorization"_s;
    const QString settings = u"notifications.openSystemSettings"_s;
    const QString help = u"surfaces.setupHelp"_s;
    QTest::newRow("authorized") << S::authorized << S::authorized << QStringList{status};
    QTest::newRow("unsupported") << S::unsupported << S::unsupported << QStringList{status};
    QTest::newRow("denied") << S::denied << S::denied << QStringList{status, settings, help};
    QTest::newRow("undetermined, then granted")
        << S::notDetermined << S::authorized << QStringList{status, request};
    QTest::newRow("undetermined, then refused")
        << S::notDetermined << S::denied << QStringList{status, request, settings, help};
}

void CommandsTest::permissionFlow()
{
    QFETCH(NotificationAuthorizationState, current);
    QFETCH(NotificationAuthorizationState, afterRequest);
    QFETCH(QStringList, calls);

    EngineHarness h(now);
    h.notifications.state = current;
    h.notifications.stateAfterRequest = afterRequest;
    h.engine->requestNotificationAuthorization();
    QCOMPARE(h.log.calls, calls);
    QCOMPARE(h.engine->notificationAuthorizationStatus(), afterRequest);
}

QTEST_GUILESS_MAIN(CommandsTest)
#include "test_commands.moc"
