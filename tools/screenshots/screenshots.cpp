// Writes a PNG of every surface Kelvo has, light and dark, for a person to look at:
//   screenshots OUTPUT_FOLDER
// Run offscreen (QT_QPA_PLATFORM=offscreen) with the fonts Kelvo depends on installed.

#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/traymenu.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

using namespace kelvo;

namespace {

struct Scene {
    const char* name;
    DailySummary today;
    AppSettings settings;
};

QList<Scene> scenes()
{
    AppSettings quiet = AppSettings::defaults();
    quiet.quietHoursEnabled = true;
    quiet.quietHoursStartHour = 9;
    quiet.quietHoursStartMinute = 5;
    quiet.quietHoursEndHour = 17;
    quiet.desktopWidgetEnabled = true;

    DailySummary none;
    none.suggestion = QStringLiteral("今天没有记录到 AI 软件使用。保持你的判断先行。");
    DailySummary busy;
    busy.totalDuration = 3 * 3600 + 25 * 60 + 7;
    busy.launchCount = 27;
    busy.suggestion = QStringLiteral(
        "今天 AI 使用时间偏长，而且对话次数很多。下一次打开 AI 之前，先用五分钟写下你自己的思路和"
        "初稿，再让 AI 补充与检查；把多次零碎的提问合并成一次完整的提问，也能减少频繁切换。");
    return {{"tray-menu-no-use", none, AppSettings::defaults()},
            {"tray-menu-busy-day", busy, quiet}};
}

bool save(QWidget& widget, const QString& path)
{
    const bool saved = widget.grab().save(path);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                 qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;

    bool ok = true;
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        applyApplicationTheme(appearance);
        // Widgets take a new palette from the event loop.
        QApplication::processEvents();
        const QString suffix = appearance == Appearance::dark ? QStringLiteral("-dark.png")
                                                              : QStringLiteral("-light.png");
        for (const Scene& scene : scenes()) {
            TrayMenu menu;
            menu.setModel(TrayMenuModel::build(scene.today, scene.settings));
            menu.popup({0, 0});
            // The quiet-hours item highlighted, as when a person moves down with the keyboard.
            menu.setActiveAction(menu.actions().at(2));
            QApplication::processEvents();
            ok = save(menu, folder.filePath(QString::fromLatin1(scene.name) + suffix)) && ok;
            menu.close();
        }
    }
    return ok ? 0 : 1;
}
