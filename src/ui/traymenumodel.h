#pragma once

#include "model/appsettings.h"
#include "summary/summaryrecords.h"

#include <QList>
#include <QString>

namespace kelvo {

class AppState;

// One figure of the menu's card.
struct MenuInfoRow {
    QString symbolName;
    QString title;
    QString value;
    QString detail;

    bool operator==(const MenuInfoRow&) const = default;
};

// What a click on a menu item asks of the engine.
enum class TrayCommand {
    none,
    toggleQuietHours,
    toggleRealtimeReminders,
    toggleDailySummary,
    toggleDesktopWidget,
    openSummary,
    openSettings,
    quit,
};

struct TrayMenuItem {
    enum class Kind { card, separator, toggle, action };

    Kind kind = Kind::action;
    QString title;
    // A second run after the title, drawn in the secondary colour (the quiet-hours times).
    QString detail;
    bool checked = false;
    TrayCommand command = TrayCommand::none;
    // The key that goes with Ctrl ("," or "q"); empty for none.
    QString shortcutKey;

    bool operator==(const TrayMenuItem&) const = default;
};

// Everything the tray item shows: the title beside the icon, the card and the menu, built
// afresh from the engine's figures and settings.
struct TrayMenuModel {
    QString title;
    QList<MenuInfoRow> rows;
    QString suggestion;
    QList<TrayMenuItem> items;

    bool operator==(const TrayMenuModel&) const = default;

    static TrayMenuModel build(const DailySummary& today, const AppSettings& settings);
    // The suggestion as plain lines, for a menu that cannot hold the card: at most `maxColumns`
    // columns a line (a Chinese character takes two) and `maxLines` lines, the last one ending
    // in an ellipsis when the text goes on.
    static QStringList suggestionLines(const QString& suggestion, int maxColumns, int maxLines);
};

// Sends one menu command to the engine.
void sendTrayCommand(AppState& engine, TrayCommand command);

} // namespace kelvo
