// The settings window: what it shows and asks, without a screen (the add rows against a real
// engine, the remembered rows, the pickers and the clock, the window's height), and the real
// window offscreen, driven with the keyboard and the mouse; every result is read back from the
// engine, and once from what it saved.

#include "fakes/engineharness.h"
#include "fakes/testenvironment.h"
#include "ui/settingspresentation.h"
#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/settingsblocks.h"
#include "ui/widgets/settingspages.h"
#include "ui/widgets/settingswindow.h"
#include "ui/widgets/themeselector.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime now(QDate(2026, 6, 1), QTime(9, 0), QTimeZone::utc());

void press(QWidget* widget, Qt::Key key)
{
    widget->setFocus(Qt::TabFocusReason);
    QTest::keyClick(widget, key);
}

void showAndWait(SettingsWindow& window)
{
    window.refreshFromState();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace

class TestSettings final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyApplicationTheme(Appearance::light); }
    void addRows_data();
    void addRows();
    void rememberedRow();
    void pickers_data();
    void pickers();
    void windowHeight_data();
    void windowHeight();
    void everyControlOnce();
    void redrawKeepsWhatThePersonIsDoing();
};

void TestSettings::addRows_data()
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

void TestSettings::addRows()
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

// A removal hands the selection to the row before, the first row's to the new first; a reload
// keeps it in the list, and none in an empty one.
void TestSettings::rememberedRow()
{
    QCOMPARE(RuleSelection::afterRemoval(1, 2), 0);
    QCOMPARE(RuleSelection::afterRemoval(0, 2), 0);
    QCOMPARE(RuleSelection::restored(RuleSelection::afterRemoval(0, 0), 0), -1);
    QCOMPARE(RuleSelection::restored(5, 3), 2);
    QCOMPARE(RuleSelection::restored(1, 3), 1);
}

void TestSettings::pickers_data()
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
}

// The picker shows the stored time as the values add up (also while quiet hours are off);
// saving what it shows keeps exactly that hour and minute, also on a day the clock skips it.
void TestSettings::pickers()
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

    const SettingsModel model = SettingsModel::build(h.engine->settings(), {});
    QCOMPARE(model.quietStart, shown);

    SettingsCommand save = SettingsCommand::of(SettingsCommand::Kind::setQuietStart);
    save.time = model.quietStart;
    sendSettingsCommand(*h.engine, h.clock, save);
    QCOMPARE(h.engine->settings().quietHoursStartHour, qint64(shown.hour()));
    QCOMPARE(h.engine->settings().quietHoursStartMinute, qint64(shown.minute()));
}

void TestSettings::windowHeight_data()
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

void TestSettings::windowHeight()
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

void TestSettings::everyControlOnce()
{
    TestEnvironment environment;
    EngineHarness h(now);
    const AppSettings& settings = h.engine->settings();
    SettingsWindow window(h.engine.get(), &h.clock);
    showAndWait(window);
    MonitoringPage* monitoring = window.monitoringPage();

    // A web rule with the keyboard alone: name, Tab, host, Enter.
    monitoring->webNameField->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(monitoring->webNameField, u"Kimi Web"_s);
    QTest::keyClick(monitoring->webNameField, Qt::Key_Tab);
    QVERIFY(monitoring->webHostField->hasFocus());
    QTest::keyClicks(monitoring->webHostField, u"Kimi.Moonshot.CN"_s);
    QTest::keyClick(monitoring->webHostField, Qt::Key_Return);
    const qsizetype webCount = settings.browserDomainRules.size();
    QCOMPARE(monitoring->selectedWebRuleRow(), int(webCount) - 1); // after an add: the last row
    QVERIFY(SettingsModel::build(settings, {}).webHosts.contains(u"kimi.moonshot.cn"_s));
    QVERIFY(monitoring->webNameField->text().isEmpty() &&
            monitoring->webHostField->text().isEmpty());

    // A desktop rule by application id with the mouse.
    const qsizetype desktopCount = settings.monitoredApps.size();
    QTest::keyClicks(monitoring->nameField, u"Zed"_s);
    QTest::mouseClick(monitoring->byIdSegment, Qt::LeftButton);
    QTest::keyClicks(monitoring->matchValueField, u"dev.zed.Zed"_s);
    QTest::mouseClick(monitoring->addRuleButton, Qt::LeftButton);
    QCOMPARE(settings.monitoredApps.size(), desktopCount + 1);
    QCOMPARE(settings.monitoredApps.last().strategy, AppMatchStrategy::bundleIdentifier);
    QCOMPARE(settings.monitoredApps.last().matchValue, u"dev.zed.Zed"_s);
    QVERIFY(monitoring->byNameSegment->isChecked());

    // Removed again: the web rule with Delete in its table, the desktop rule with its button.
    monitoring->webRules->selectRow(int(webCount) - 1);
    const QString selectedHost = settings.browserDomainRules.last().host;
    press(monitoring->webRules, Qt::Key_Delete);
    QCOMPARE(settings.browserDomainRules.size(), webCount - 1);
    QVERIFY(!SettingsModel::build(settings, {}).webHosts.contains(selectedHost));
    QTest::mouseClick(monitoring->removeRuleButton, Qt::LeftButton);
    QCOMPARE(settings.monitoredApps.size(), desktopCount);

    // Every switch, with Space.
    const auto toggles = [&](QCheckBox* box, const bool& value) {
        const bool before = value;
        press(box, Qt::Key_Space);
        QCOMPARE(value, !before);
        QCOMPARE(box->isChecked(), !before);
    };
    toggles(monitoring->webMonitoringBox, settings.webMonitoringEnabled);
    toggles(monitoring->desktopMonitoringBox, settings.desktopMonitoringEnabled);
    QTest::mouseClick(window.sidebarButton(SettingsSection::reminders), Qt::LeftButton);
    RemindersPage* reminders = window.remindersPage();
    QVERIFY(reminders->isVisible() && !monitoring->isVisible());
    toggles(reminders->realtimeBox, settings.realtimeRemindersEnabled);
    toggles(reminders->dailyBox, settings.dailySummaryEnabled);
    QVERIFY(!reminders->quietStartPicker->isEnabled());
    toggles(reminders->quietBox, settings.quietHoursEnabled);
    QVERIFY(reminders->quietStartPicker->isEnabled());

    // Each picker: a step with the arrow keys, and one time typed in and entered.
    press(reminders->dailyPicker, Qt::Key_Up);
    QCOMPARE(settings.dailySummaryHour, qint64(21));
    press(reminders->quietStartPicker, Qt::Key_Down);
    QCOMPARE(settings.quietHoursStartHour, qint64(21));
    reminders->quietEndPicker->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(reminders->quietEndPicker, u"0630"_s);
    QCOMPARE(settings.quietHoursEndHour, qint64(8)); // not saved while typing
    QTest::keyClick(reminders->quietEndPicker, Qt::Key_Return);
    QCOMPARE(settings.quietHoursEndHour, qint64(6));
    QCOMPARE(settings.quietHoursEndMinute, qint64(30));

    QTest::mouseClick(window.sidebarButton(SettingsSection::appearance), Qt::LeftButton);
    QCOMPARE(window.detailScrollArea()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    AppearancePage* appearance = window.appearancePage();
    toggles(appearance->desktopWidgetBox, settings.desktopWidgetEnabled);
    for (const AppearanceMode mode : {AppearanceMode::light, AppearanceMode::dark,
                                      AppearanceMode::system, AppearanceMode::dark}) {
        QTest::mouseClick(appearance->themeSelector->card(mode), Qt::LeftButton);
        QCOMPARE(settings.appearanceMode, mode);
    }

    QCOMPARE(h.store.state.settings, settings); // all of it saved

    // Escape closes (hides) the window.
    press(appearance->desktopWidgetBox, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
}

// The engine redraws every surface after every change and every 30 seconds; a redraw keeps
// typed text, the picker being typed into, focus, selection and both scroll positions.
void TestSettings::redrawKeepsWhatThePersonIsDoing()
{
    TestEnvironment environment;
    StoredState state;
    for (int i = 0; i < 20; ++i)
        state.settings.browserDomainRules.append({u"ai%1.example.com"_s.arg(i, 2, 10, QChar(u'0')),
                                                  u"AI %1"_s.arg(i, 2, 10, QChar(u'0')),
                                                  u"globe"_s});
    state.settings.quietHoursEnabled = true;
    EngineHarness h(now, state);
    SettingsWindow window(h.engine.get(), &h.clock);
    showAndWait(window);
    MonitoringPage* monitoring = window.monitoringPage();

    monitoring->webRules->selectRow(15);
    monitoring->webRules->verticalScrollBar()->setValue(4);
    window.detailScrollArea()->verticalScrollBar()->setValue(120);
    monitoring->webHostField->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(monitoring->webHostField, u"half.typ"_s);
    // Another surface adds a rule (the rows change) and the engine redraws.
    h.engine->addBrowserDomainRule(u"Zeta"_s, u"zeta.example.com"_s);
    window.refreshFromState();
    QCOMPARE(monitoring->webHostField->text(), u"half.typ"_s);
    QVERIFY(monitoring->webHostField->hasFocus());
    QCOMPARE(monitoring->webRules->selectedRow(), 15);
    QCOMPARE(monitoring->selectedWebRuleRow(), 15);
    QCOMPARE(monitoring->webRules->verticalScrollBar()->value(), 4);
    QCOMPARE(window.detailScrollArea()->verticalScrollBar()->value(), 120);
    QVERIFY(monitoring->removeWebRuleButton->isEnabled());

    window.selectSection(SettingsSection::reminders);
    QTimeEdit* picker = window.remindersPage()->quietStartPicker;
    picker->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(picker, u"1"_s);
    const QString typed = picker->text();
    h.clock.set(h.clock.now().addSecs(30));
    h.engine->tick();
    window.refreshFromState();
    QCOMPARE(picker->text(), typed);
    QVERIFY(picker->hasFocus());
    QCOMPARE(h.engine->settings().quietHoursStartHour, qint64(22));

    // Escape gives the typed time up as the window closes.
    QTest::keyClick(picker, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QCOMPARE(h.engine->settings().quietHoursStartHour, qint64(22));
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
