// What the settings window shows and asks, without a screen: the add rows against a real engine,
// the remembered rows, the pickers and the clock, the window's height.

#include "fakes/engineharness.h"
#include "ui/settingspresentation.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

class TestSettingsPresentation final : public QObject {
    Q_OBJECT

private slots:
    void addRows_data();
    void addRows();
    void rememberedRow_data();
    void rememberedRow();
    void pickers_data();
    void pickers();
    void windowHeight_data();
    void windowHeight();
};

void TestSettingsPresentation::addRows_data()
{
    QTest::addColumn<bool>("web");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // the host, or the match value
    QTest::addColumn<bool>("byApplicationId");
    QTest::addColumn<bool>("clearsFields");
    QTest::addColumn<QString>("shown"); // the new row's second column; empty: nothing stored

    QTest::newRow("spaces-only host does nothing")
        << true << u"Kimi"_s << u"   "_s << false << false << QString();
    QTest::newRow("host the engine rejects still clears")
        << true << u"Dots"_s << u"..."_s << false << true << QString();
    QTest::newRow("address pasted over lines")
        << true << u" "_s << u"\nhttps://Kimi.Moonshot.CN/chat\n"_s << false << true
        << u"kimi.moonshot.cn"_s;
    QTest::newRow("empty name leaves the fields")
        << false << u" "_s << u"Zed"_s << false << false << QString();
    QTest::newRow("empty match value leaves the fields")
        << false << u"Zed"_s << u"\n"_s << true << false << QString();
    QTest::newRow("by application id")
        << false << u" Zed "_s << u"dev.zed.Zed"_s << true << true << u"应用 ID: dev.zed.Zed"_s;
    QTest::newRow("pasted lines shown on one")
        << false << u"Zed"_s << u"Zed\nAI"_s << false << true << u"应用名关键字: Zed AI"_s;
}

void TestSettingsPresentation::addRows()
{
    QFETCH(bool, web);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, byApplicationId);
    StoredState state;
    state.settings.browserDomainRules.clear();
    state.settings.monitoredApps.clear();
    EngineHarness h(QDateTime(QDate(2026, 6, 1), QTime(9, 0), QTimeZone::utc()), state);
    const auto command = web ? SettingsCommand::addWebRule(name, value)
                             : SettingsCommand::addDesktopRule(name, byApplicationId, value);
    QTEST(command.has_value(), "clearsFields");
    if (command)
        sendSettingsCommand(*h.engine, h.clock, *command);
    const SettingsModel model = SettingsModel::build(h.engine->settings(), {});
    const QList<SettingsRuleRow>& rows = web ? model.webRules : model.desktopRules;
    QTEST(rows.isEmpty() ? QString() : rows.first().detail, "shown");
}

void TestSettingsPresentation::rememberedRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("countBefore");
    QTest::addColumn<int>("afterRemoval");

    QTest::newRow("removing the last row clears the selection") << 0 << 1 << -1;
    QTest::newRow("last of three: the new last row") << 2 << 3 << 1;
    QTest::newRow("middle of three: the first") << 1 << 3 << 0;
    QTest::newRow("first of three: the new first") << 0 << 3 << 0;
}

void TestSettingsPresentation::rememberedRow()
{
    QFETCH(int, row);
    QFETCH(int, countBefore);
    const int newCount = countBefore - 1;
    QTEST(RuleSelection::restored(RuleSelection::afterRemoval(row, newCount), newCount),
          "afterRemoval");
    QCOMPARE(RuleSelection::restored(5, 0), -1);
    QCOMPARE(RuleSelection::restored(5, 3), 2);
}

void TestSettingsPresentation::pickers_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QTime>("shown");

    QTest::newRow("hour 25") << u"Asia/Shanghai"_s << QDate(2026, 6, 1) << 25 << 0 << QTime(1, 0);
    QTest::newRow("7:61") << u"Asia/Shanghai"_s << QDate(2026, 6, 1) << 7 << 61 << QTime(8, 1);
    QTest::newRow("Berlin gap") << u"Europe/Berlin"_s << QDate(2026, 3, 29) << 2 << 30
                                << QTime(2, 30);
    QTest::newRow("New York gap") << u"America/New_York"_s << QDate(2026, 3, 8) << 2 << 15
                                  << QTime(2, 15);
}

// The picker shows the stored time as the values add up; saving what it shows keeps exactly
// that hour and minute, also on a day the clock skips it; quiet hours off only disables.
void TestSettingsPresentation::pickers()
{
    QFETCH(QString, zone);
    QFETCH(QDate, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QTime, shown);
    const QTimeZone timeZone(zone.toUtf8());
    StoredState state;
    state.settings.quietHoursStartHour = hour;
    state.settings.quietHoursStartMinute = minute;
    EngineHarness h(QDateTime(day, QTime(12, 0), timeZone), state, timeZone);

    const QDateTime today = h.engine->dateFor(hour, minute);
    QVERIFY(today.isValid());
    QCOMPARE(today.toTimeZone(timeZone).date(), day);

    SettingsModel model = SettingsModel::build(h.engine->settings(), {});
    QCOMPARE(model.quietStart, shown);
    QVERIFY(!model.quietPickersEnabled);
    sendSettingsCommand(*h.engine, h.clock,
                        SettingsCommand::of(SettingsCommand::Kind::setQuietHours, true));
    model = SettingsModel::build(h.engine->settings(), {});
    QVERIFY(model.quietPickersEnabled);
    QCOMPARE(model.quietStart, shown);

    SettingsCommand save = SettingsCommand::of(SettingsCommand::Kind::setQuietStart);
    save.time = model.quietStart;
    sendSettingsCommand(*h.engine, h.clock, save);
    QCOMPARE(h.engine->settings().quietHoursStartHour, qint64(shown.hour()));
    QCOMPARE(h.engine->settings().quietHoursStartMinute, qint64(shown.minute()));
}

void TestSettingsPresentation::windowHeight_data()
{
    QTest::addColumn<double>("preferred");
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("screenHeight"); // 0: no screen
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("scrolls");

    const int monitoring = int(SettingsSection::monitoring);
    const int appearance = int(SettingsSection::appearance);
    QTest::newRow("1000 on a 900-high screen") << 1000.0 << monitoring << 900 << 760 << true;
    QTest::newRow("appearance: no scroller") << 1000.0 << appearance << 900 << 760 << false;
    QTest::newRow("small screen keeps 500") << 900.0 << monitoring << 560 << 500 << true;
    QTest::newRow("no screen") << 1000.0 << monitoring << 0 << 820 << true;
    QTest::newRow("short page keeps 480") << 100.0 << appearance << 1080 << 480 << false;
}

void TestSettingsPresentation::windowHeight()
{
    QFETCH(double, preferred);
    QFETCH(int, section);
    QFETCH(int, screenHeight);
    const SettingsWindowLayout layout =
        SettingsWindowLayout::build(100, preferred - 48, SettingsSection(section));
    const SettingsWindowSize size = SettingsWindowSize::fit(
        layout, screenHeight ? std::optional<int>(screenHeight) : std::nullopt);
    QTEST(size.contentHeight, "height");
    QTEST(size.scrolls, "scrolls");
}

QTEST_GUILESS_MAIN(TestSettingsPresentation)
#include "test_settingspresentation.moc"
