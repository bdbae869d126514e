// The tray: the menu model, the card's layout, the symbols and the theme, and Kelvo's own menu
// offscreen, used with the keyboard alone, updated in place while open and recoloured.

#include "ui/appearancestate.h"
#include "ui/menucardlayout.h"
#include "ui/symbols.h"
#include "ui/theme.h"
#include "ui/traymenumodel.h"
#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/menuinfocardview.h"
#include "ui/widgets/traymenu.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(kelvo::TrayCommand)

namespace {

TrayMenuModel modelWith(bool quietHours)
{
    AppSettings settings = AppSettings::defaults();
    settings.quietHoursEnabled = quietHours;
    DailySummary today;
    today.suggestion = u"今天没有记录到 AI 软件使用。保持你的判断先行。"_s;
    return TrayMenuModel::build(today, settings);
}

} // namespace

class TestTray final : public QObject {
    Q_OBJECT

private slots:
    void followsTodayAndSettings();
    void suggestionLines_data();
    void suggestionLines();
    void cardCapsTheSuggestionAtThreeLines();
    void everySymbolIsDrawn();
    void appearanceResolution();
    void keyboardAlone_data();
    void keyboardAlone();
    void openMenuFollowsChanges();
};

// The title and the card's figures follow today, each switch its own setting.
void TestTray::followsTodayAndSettings()
{
    DailySummary today;
    today.totalDuration = 3900;
    today.launchCount = 3;
    AppSettings settings; // daily summary on, desktop widget off, quiet hours until 08:00
    settings.quietHoursEnabled = true;
    settings.quietHoursStartHour = 9;
    settings.quietHoursStartMinute = 5;
    settings.realtimeRemindersEnabled = false;

    const TrayMenuModel model = TrayMenuModel::build(today, settings);
    QCOMPARE(model.title, u"今日vu 1时5分"_s);
    QCOMPARE(model.rows.size(), 2);
    QCOMPARE(model.rows[0].value, u"1小时5分"_s);
    QCOMPARE(model.rows[1].value, u"3 次"_s);
    // After the card and a separator, the four switches.
    using Kind = TrayMenuItem::Kind;
    const QList<TrayMenuItem> toggles{
        {Kind::toggle, u"免打扰"_s, u"09:05-08:00"_s, true, TrayCommand::toggleQuietHours, {}},
        {Kind::toggle, u"实时提醒"_s, {}, false, TrayCommand::toggleRealtimeReminders, {}},
        {Kind::toggle, u"自动每日总结"_s, {}, true, TrayCommand::toggleDailySummary, {}},
        {Kind::toggle, u"桌面小组件"_s, {}, false, TrayCommand::toggleDesktopWidget, {}},
    };
    QCOMPARE(model.items.mid(2, 4), toggles);
    QCOMPARE(model.items.first().kind, Kind::card);
}

void TestTray::suggestionLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("fits") << u"保持判断先行。"_s << QStringList{u"保持判断先行。"_s};
    QTest::newRow("wraps by columns")
        << u"一二三四五六七八九十"_s << QStringList{u"一二三四五六七八"_s, u"九十"_s};
    QTest::newRow("latin takes one column")
        << u"abcdefghijklmnopq"_s << QStringList{u"abcdefghijklmnop"_s, u"q"_s};
    QTest::newRow("cut at the third line")
        << u"一二三四五六七八一二三四五六七八一二三四五六七八尾巴"_s
        << QStringList{u"一二三四五六七八"_s, u"一二三四五六七八"_s, u"一二三四五六七…"_s};
}

void TestTray::suggestionLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TrayMenuModel::suggestionLines(text, 16, 3), lines);
}

// A short suggestion stays whole, a long one is cut at three lines with an ellipsis.
void TestTray::cardCapsTheSuggestionAtThreeLines()
{
    const TrayMenuModel model = TrayMenuModel::build({}, AppSettings::defaults());
    QCOMPARE(MenuCardLayout::build(model.rows, u"保持判断先行。"_s).suggestionLines,
             QStringList{u"保持判断先行。"_s});
    const MenuCardLayout card =
        MenuCardLayout::build(model.rows, u"今天使用 AI 的时间偏长，"_s.repeated(12));
    QCOMPARE(card.suggestionLines.size(), 3);
    QVERIFY(card.suggestionLines.last().endsWith(u'…'));
    // Every text and symbol lies inside the card, and no two texts overlap.
    const QRectF inside(0, 0, card.size.width(), card.size.height());
    for (qsizetype index = 0; index < card.texts.size(); ++index) {
        const QRectF rect = card.texts[index].rect;
        QVERIFY2(inside.contains(rect), qPrintable(card.texts[index].text));
        for (qsizetype other = index + 1; other < card.texts.size(); ++other)
            QVERIFY2(!rect.intersects(card.texts[other].rect), qPrintable(card.texts[other].text));
    }
    for (const auto& symbol : card.symbols)
        QVERIFY(inside.contains(symbol.rect));
}

void TestTray::everySymbolIsDrawn()
{
    const auto inked = [](const QString& name) {
        const QImage image = Symbols::pixmap(name, 16, Qt::black, 2).toImage();
        QImage blank(image.size(), image.format());
        blank.fill(Qt::transparent);
        return image != blank;
    };
    for (const QString& name : Symbols::names())
        QVERIFY2(inked(name), qPrintable(name));
    QVERIFY(!inked(u"no.such.symbol"_s));
}

// Light and dark win over the desktop's preference, "system" follows it; only a change is told.
void TestTray::appearanceResolution()
{
    AppearanceState state; // system, on a light desktop
    QSignalSpy changes(&state, &AppearanceState::appearanceChanged);
    const std::tuple<AppearanceMode, bool, Appearance, int> steps[] = {
        {AppearanceMode::dark, false, Appearance::dark, 1},
        {AppearanceMode::light, true, Appearance::light, 2},
        {AppearanceMode::system, true, Appearance::dark, 3},
        {AppearanceMode::system, true, Appearance::dark, 3},
        {AppearanceMode::system, false, Appearance::light, 4},
    };
    for (const auto& [mode, systemDark, expected, told] : steps) {
        state.setMode(mode);
        state.setSystemPrefersDark(systemDark);
        QCOMPARE(state.appearance(), expected);
        QCOMPARE(changes.size(), told);
    }
}

void TestTray::keyboardAlone_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<TrayCommand>("command");

    const QKeyCombination down(Qt::Key_Down), enter(Qt::Key_Return), up(Qt::Key_Up);
    QTest::newRow("first item, past the card")
        << QList<QKeyCombination>{down, enter} << TrayCommand::toggleQuietHours;
    QTest::newRow("third item") << QList<QKeyCombination>{down, down, down, enter}
                                << TrayCommand::toggleDailySummary;
    QTest::newRow("up wraps to quit") << QList<QKeyCombination>{up, enter} << TrayCommand::quit;
    QTest::newRow("ctrl+q") << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_Q}
                            << TrayCommand::quit;
    QTest::newRow("ctrl+comma") << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_Comma}
                                << TrayCommand::openSettings;
}

void TestTray::keyboardAlone()
{
    QFETCH(QList<QKeyCombination>, keys);
    TrayMenu menu;
    menu.setModel(modelWith(false));
    QSignalSpy chosen(&menu, &TrayMenu::commandChosen);
    menu.popup({0, 0});
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    menu.activateWindow();
    for (const QKeyCombination key : keys)
        QTest::keyClick(&menu, key.key(), key.keyboardModifiers());
    QTRY_COMPARE(chosen.size(), 1);
    QFETCH(TrayCommand, command);
    QCOMPARE(chosen.first().first().value<TrayCommand>(), command);
}

// Open, the menu is updated in place, and its card recoloured when the appearance changes.
void TestTray::openMenuFollowsChanges()
{
    TrayMenu menu;
    menu.setModel(modelWith(false));
    menu.popup({0, 0});
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_Down);
    QAction* active = menu.activeAction();
    QVERIFY(active && active->text().startsWith(u"免打扰"_s));
    QVERIFY(!active->isChecked());

    menu.setModel(modelWith(true));
    QCOMPARE(menu.activeAction(), active);
    QVERIFY(active->isChecked());
    QVERIFY(menu.isVisible());

    MenuInfoCardView* card = menu.card();
    QCOMPARE(card->size(), card->cardLayout().size);
    // A point of plain card background: right of the first caption.
    const QPoint background(card->width() - 8,
                            int(card->cardLayout().texts.first().rect.center().y()));
    for (const Appearance appearance : {Appearance::dark, Appearance::light}) {
        applyApplicationTheme(appearance);
        QTRY_COMPARE(card->appearance(), appearance);
        const QImage image = card->grab().toImage();
        QCOMPARE(image.pixelColor(background * image.devicePixelRatio()).rgb(),
                 Theme::color(ThemeRole::cardBackground, appearance).rgb());
    }
}

QTEST_MAIN(TestTray)
#include "test_traymenu.moc"
