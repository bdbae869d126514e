// The real settings window, offscreen, driven with the keyboard and the mouse; every result is
// read back from the engine, and once from what it saved.

#include "fakes/engineharness.h"
#include "fakes/testenvironment.h"
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

class TestSettingsWindow final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { applyApplicationTheme(Appearance::light); }
    void everyControlOnce();
    void redrawKeepsWhatThePersonIsDoing();
};

void TestSettingsWindow::everyControlOnce()
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
    QCOMPARE(settings.browserDomainRules.at(monitoring->selectedWebRuleRow()).displayName,
             settings.browserDomainRules.last().displayName);
    QVERIFY(monitoring->webNameField->text().isEmpty() &&
            monitoring->webHostField->text().isEmpty());
    QVERIFY(std::any_of(settings.browserDomainRules.cbegin(), settings.browserDomainRules.cend(),
                        [](const auto& rule) { return rule.host == u"kimi.moonshot.cn"_s; }));

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
    QVERIFY(std::none_of(settings.browserDomainRules.cbegin(), settings.browserDomainRules.cend(),
                         [&](const auto& rule) { return rule.host == selectedHost; }));
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

    const AppSettings& stored = h.store.state.settings;
    QCOMPARE(stored.appearanceMode, AppearanceMode::dark);
    QCOMPARE(stored.quietHoursEndMinute, qint64(30));
    QCOMPARE(stored.browserDomainRules.size(), webCount - 1);

    // Escape closes (hides) the window.
    press(appearance->desktopWidgetBox, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
}

// The engine redraws every surface after every change and every 30 seconds; a redraw keeps
// typed text, the picker being typed into, focus, selection and both scroll positions.
void TestSettingsWindow::redrawKeepsWhatThePersonIsDoing()
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

QTEST_MAIN(TestSettingsWindow)
#include "test_settingswindow.moc"
