// Writes a PNG of every surface Kelvo has, light and dark, for a person to look at:
//   screenshots OUTPUT_FOLDER
// Run offscreen (QT_QPA_PLATFORM=offscreen) with the fonts Kelvo depends on installed.

#include "summary/summarycomposer.h"
#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/desktopwidget.h"
#include "ui/widgets/settingswindow.h"
#include "ui/widgets/summarywindow.h"
#include "ui/widgets/traymenu.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScrollArea>
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

// The settings window with no rules, and with twenty of each kind (long, Unicode, pasted).
AppSettings settingsWithRules(int count)
{
    AppSettings settings = AppSettings::defaults();
    settings.monitoredApps.clear();
    settings.browserDomainRules.clear();
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i + 1);
        settings.browserDomainRules.append({QStringLiteral("ai%1.example.com").arg(n),
                                            QStringLiteral("网页助手 %1").arg(n),
                                            QStringLiteral("globe")});
        settings.monitoredApps.append(
            {QUuid::createUuid(), QStringLiteral("桌面工具 %1").arg(n),
             i % 2 ? AppMatchStrategy::bundleIdentifier : AppMatchStrategy::localizedNameContains,
             i % 2 ? QStringLiteral("org.example.Tool%1").arg(n) : QStringLiteral("Tool")});
    }
    if (count > 0) {
        settings.browserDomainRules[0].displayName = QStringLiteral("很长的名字").repeated(200);
        settings.monitoredApps[1].displayName = QStringLiteral("Pasted\nname over\nlines");
    }
    settings.quietHoursEnabled = count > 0;
    settings.quietHoursStartHour = 25; // a hand-edited file: shown as 01:00
    return settings;
}

bool saveSettingsWindow(const QDir& folder, const QString& suffix)
{
    bool ok = true;
    const QList<std::pair<const char*, SettingsSection>> sections{
        {"monitoring", SettingsSection::monitoring},
        {"reminders", SettingsSection::reminders},
        {"appearance", SettingsSection::appearance}};
    for (const int count : {0, 20}) {
        const NotificationAuthorizationState state =
            count ? NotificationAuthorizationState::denied
                  : NotificationAuthorizationState::authorized;
        SettingsWindow window(nullptr, nullptr);
        window.setModel(SettingsModel::build(settingsWithRules(count), state));
        window.show();
        for (const auto& [name, section] : sections) {
            window.selectSection(section);
            QApplication::processEvents();
            const QString base =
                QStringLiteral("settings-%1-%2")
                    .arg(QString::fromLatin1(name),
                         count ? QStringLiteral("20-rules") : QStringLiteral("empty"));
            ok = save(window, folder.filePath(base + suffix)) && ok;
            if (section == SettingsSection::monitoring)
                ok = save(*window.detailScrollArea()->widget(),
                          folder.filePath(base + QStringLiteral("-whole-page") + suffix)) &&
                     ok;
        }
    }
    return ok;
}

// A month of use that gives the chart every colour: a risky day, a warning day, a quiet day and
// today, with eight tools.
QList<AiUsageSession> busyMonth(const QDateTime& now)
{
    const QStringList tools{QStringLiteral("ChatGPT"),    QStringLiteral("Claude"),
                            QStringLiteral("Cursor"),     QStringLiteral("Gemini"),
                            QStringLiteral("Perplexity"), QStringLiteral("Poe"),
                            QStringLiteral("通义千问"),   QStringLiteral("Kimi 智能助手")};
    const QList<int> minutes{35, 52, 48, 70, 15, 25, 95, 64, 30, 12, 80, 45, 61,  50, 33,
                             8,  55, 90, 41, 22, 75, 58, 66, 18, 62, 21, 12, 105, 47, 40};
    QList<AiUsageSession> sessions;
    const QDate today = now.date();
    for (int back = 29; back >= 0; --back) {
        QDateTime start(today.addDays(-back), QTime(9, 0), now.timeZone());
        int left = minutes.at(29 - back) * 60;
        for (int i = 0; left > 0; ++i) {
            const int length = qMin(left, 600 + 300 * (i % 3));
            AiUsageSession session;
            session.appName = tools.at((back + i * 3) % tools.size());
            session.startedAt = start;
            session.endedAt = start.addSecs(length);
            if (session.endedAt > now)
                break;
            sessions.append(session);
            start = session.endedAt.addSecs(900);
            left -= length;
        }
    }
    return sessions;
}

bool saveSummaries(const QDir& folder, const QString& suffix)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime now(QDate(2026, 3, 12), QTime(17, 30), zone);
    bool ok = true;
    for (const bool busy : {false, true}) {
        const QList<AiUsageSession> sessions = busy ? busyMonth(now) : QList<AiUsageSession>{};
        SummaryWindow window;
        window.setPresentation(SummaryPresentation::build(
            SummaryComposer::summarySnapshot(sessions, std::nullopt, now, zone), now, zone));
        window.show();
        QApplication::processEvents();
        const QString name =
            busy ? QStringLiteral("summary-busy-month") : QStringLiteral("summary-fresh-install");
        ok = save(window, folder.filePath(name + suffix)) && ok;
        // The whole page, also what lies below the window's fold.
        if (auto* scroll = window.findChild<QScrollArea*>())
            ok =
                save(*scroll->widget(), folder.filePath(name + QStringLiteral("-page") + suffix)) &&
                ok;
    }
    const QList<std::pair<QString, DesktopWidgetContent>> widgets{
        {QStringLiteral("widget-no-use"),
         {QStringLiteral("0秒"), QStringLiteral("今天没有记录到 AI 软件使用。保持你的判断先行。")}},
        {QStringLiteral("widget-long-suggestion"),
         {QStringLiteral("3小时25分"),
          QStringLiteral("今天 AI 使用时间偏长，而且对话次数很多。下一次打开 AI 之前，先用五分钟"
                         "写下你自己的思路和初稿，再让 AI 补充与检查。")}},
    };
    for (const auto& [name, content] : widgets) {
        DesktopWidget widget(true);
        widget.setContent(content);
        widget.show();
        QApplication::processEvents();
        // On a plain desktop colour, so that the corners and the shadow can be seen.
        QImage desktop(widget.size() + QSize(40, 40), QImage::Format_RGB32);
        desktop.fill(suffix.contains(QStringLiteral("dark")) ? QColor(0x2b, 0x30, 0x36)
                                                             : QColor(0x9d, 0xb0, 0xc0));
        QPainter(&desktop).drawPixmap(20, 20, widget.grab());
        const QString path = folder.filePath(name + suffix);
        const bool saved = desktop.save(path);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                     qPrintable(path));
        ok = saved && ok;
    }
    return ok;
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
        ok = saveSettingsWindow(folder, suffix) && ok;
        ok = saveSummaries(folder, suffix) && ok;
    }
    return ok ? 0 : 1;
}
