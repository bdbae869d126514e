// Kelvo's own tray menu, offscreen: used with the keyboard alone, updated in place while open,
// recoloured when the appearance changes.

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

class TestTrayMenu final : public QObject {
    Q_OBJECT

private slots:
    void keyboardAlone_data();
    void keyboardAlone();
    void openMenuFollowsChanges();
};

void TestTrayMenu::keyboardAlone_data()
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

void TestTrayMenu::keyboardAlone()
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
void TestTrayMenu::openMenuFollowsChanges()
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

QTEST_MAIN(TestTrayMenu)
#include "test_traymenu.moc"
