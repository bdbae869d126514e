#include "traymenumodel.h"

#include "engine/appstate.h"
#include "summary/formatting.h"

namespace kelvo {

namespace {

QString twoDigitTime(qint64 hour, qint64 minute)
{
    return QString::asprintf("%02lld:%02lld", static_cast<long long>(hour),
                             static_cast<long long>(minute));
}

int columnsOf(QChar character)
{
    // East Asian wide characters take two columns in a menu's font, Latin ones one.
    const char16_t code = character.unicode();
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                   (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                   (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                   (code >= 0xFFE0 && code <= 0xFFE6)
               ? 2
               : 1;
}

} // namespace

TrayMenuModel TrayMenuModel::build(const DailySummary& today, const AppSettings& settings)
{
    TrayMenuModel model;
    model.title = QStringLiteral("今日vu ") + Formatting::shortDuration(today.totalDuration);
    model.rows = {
        {QStringLiteral("clock"), QStringLiteral("今日 AI 使用"),
         Formatting::duration(today.totalDuration), QStringLiteral("累计使用时长")},
        {QStringLiteral("arrow.up.circle"), QStringLiteral("今日AI对话"),
         QString::number(today.launchCount) + QStringLiteral(" 次"), QStringLiteral("使用AI频次")},
    };
    model.suggestion = today.suggestion;

    using Kind = TrayMenuItem::Kind;
    const QString quietTimes =
        twoDigitTime(settings.quietHoursStartHour, settings.quietHoursStartMinute) + u'-' +
        twoDigitTime(settings.quietHoursEndHour, settings.quietHoursEndMinute);
    model.items = {
        {Kind::card, {}, {}, false, TrayCommand::none, {}},
        {Kind::separator, {}, {}, false, TrayCommand::none, {}},
        {Kind::toggle,
         QStringLiteral("免打扰"),
         quietTimes,
         settings.quietHoursEnabled,
         TrayCommand::toggleQuietHours,
         {}},
        {Kind::toggle,
         QStringLiteral("实时提醒"),
         {},
         settings.realtimeRemindersEnabled,
         TrayCommand::toggleRealtimeReminders,
         {}},
        {Kind::toggle,
         QStringLiteral("自动每日总结"),
         {},
         settings.dailySummaryEnabled,
         TrayCommand::toggleDailySummary,
         {}},
        {Kind::toggle,
         QStringLiteral("桌面小组件"),
         {},
         settings.desktopWidgetEnabled,
         TrayCommand::toggleDesktopWidget,
         {}},
        {Kind::separator, {}, {}, false, TrayCommand::none, {}},
        {Kind::action, QStringLiteral("今日总结"), {}, false, TrayCommand::openSummary, {}},
        {Kind::action,
         QStringLiteral("设置…"),
         {},
         false,
         TrayCommand::openSettings,
         QStringLiteral(",")},
        {Kind::separator, {}, {}, false, TrayCommand::none, {}},
        {Kind::action, QStringLiteral("退出"), {}, false, TrayCommand::quit, QStringLiteral("q")},
    };
    return model;
}

QStringList TrayMenuModel::suggestionLines(const QString& suggestion, int maxColumns, int maxLines)
{
    QStringList lines;
    if (maxLines < 1 || maxColumns < 3)
        return lines;
    QString line;
    int columns = 0;
    const QString text = suggestion.simplified();
    for (qsizetype index = 0; index < text.size(); ++index) {
        const int width = columnsOf(text.at(index));
        if (columns + width > maxColumns) {
            if (lines.size() + 1 == maxLines) {
                // The last line allowed: end it with an ellipsis in place of what follows.
                while (!line.isEmpty() && columns + 2 > maxColumns)
                    columns -= columnsOf(line.back()), line.chop(1);
                lines.append(line + QStringLiteral("…"));
                return lines;
            }
            lines.append(line);
            line.clear();
            columns = 0;
        }
        line.append(text.at(index));
        columns += width;
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

void sendTrayCommand(AppState& engine, TrayCommand command)
{
    switch (command) {
    case TrayCommand::none:
        return;
    case TrayCommand::toggleQuietHours:
        return engine.toggleQuietHoursFromMenu();
    case TrayCommand::toggleRealtimeReminders:
        return engine.toggleRealtimeRemindersFromMenu();
    case TrayCommand::toggleDailySummary:
        return engine.toggleDailySummaryFromMenu();
    case TrayCommand::toggleDesktopWidget:
        return engine.toggleDesktopWidgetFromMenu();
    case TrayCommand::openSummary:
        return engine.sendManualDailySummary();
    case TrayCommand::openSettings:
        return engine.openSettingsWindow();
    case TrayCommand::quit:
        return engine.quitApp();
    }
}

} // namespace kelvo
