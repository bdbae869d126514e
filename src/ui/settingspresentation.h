#pragma once

#include "model/appsettings.h"
#include "theme.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QTimeZone>
#include <QUuid>

#include <optional>

namespace kelvo {

class AppState;
class Clock;

// The three pages of the settings window, in sidebar order.
enum class SettingsSection { monitoring, reminders, appearance };

struct SettingsSectionInfo {
    QString title;
    QString subtitle;
    QString symbolName;

    static QList<SettingsSection> all();
    static SettingsSectionInfo of(SettingsSection section);
};

// One line of a rule table, as shown: line breaks in stored texts become spaces.
struct SettingsRuleRow {
    QString name;
    QString detail;

    bool operator==(const SettingsRuleRow&) const = default;
};

// The notification page's status line and its two buttons for one permission state.
struct NotificationControls {
    QString status;
    ThemeRole statusColour = ThemeRole::secondaryText;
    QString permissionTitle;
    bool permissionEnabled = false;
    bool testEnabled = false;

    bool operator==(const NotificationControls&) const = default;

    static NotificationControls of(NotificationAuthorizationState state);
};

// Everything the settings window shows, built afresh from the engine's settings.
struct SettingsModel {
    bool webMonitoring = false;
    bool desktopMonitoring = false;
    bool realtimeReminders = false;
    bool dailySummary = false;
    bool quietHours = false;
    bool desktopWidget = false;
    QTime dailySummaryTime;
    QTime quietStart;
    QTime quietEnd;
    // The two quiet-hours pickers; the daily-summary picker is always enabled.
    bool quietPickersEnabled = false;
    AppearanceMode appearance = AppearanceMode::system;
    NotificationControls notifications;
    QList<SettingsRuleRow> webRules;
    QList<SettingsRuleRow> desktopRules;
    // What a removal of a row names to the engine: the web rule's host, the desktop rule's id.
    QStringList webHosts;
    QList<QUuid> desktopIds;

    bool operator==(const SettingsModel&) const = default;

    static SettingsModel build(const AppSettings& settings,
                               NotificationAuthorizationState notifications);
};

// One change the person makes in the settings window, for the engine.
struct SettingsCommand {
    enum class Kind {
        setWebMonitoring,
        setDesktopMonitoring,
        setRealtimeReminders,
        setDailySummary,
        setQuietHours,
        setDesktopWidget,
        setDailySummaryTime,
        setQuietStart,
        setQuietEnd,
        addWebRule,
        removeWebRule,
        addDesktopRule,
        removeDesktopRule,
        setAppearance,
        requestNotificationPermission,
        sendTestNotification,
    };

    Kind kind = Kind::setWebMonitoring;
    bool enabled = false;
    QTime time;
    QString name;
    // The host of a web rule, or the match value of a desktop rule.
    QString value;
    AppMatchStrategy strategy = AppMatchStrategy::localizedNameContains;
    QUuid id;
    AppearanceMode mode = AppearanceMode::system;

    bool operator==(const SettingsCommand&) const = default;

    static SettingsCommand of(Kind kind, bool enabled = false)
    {
        SettingsCommand command;
        command.kind = kind;
        command.enabled = enabled;
        return command;
    }
    // What the add buttons ask, from the fields as typed; nothing when a needed field is blank,
    // and then the fields stay as they are.
    static std::optional<SettingsCommand> addWebRule(const QString& name, const QString& host);
    static std::optional<SettingsCommand> addDesktopRule(const QString& name, bool byApplicationId,
                                                         const QString& matchValue);
};

// Carries out one command; the engine saves and redraws before this returns.
void sendSettingsCommand(AppState& engine, const Clock& clock, const SettingsCommand& command);

// An instant whose local time in `zone` is `time`: today, or a neighbouring day when the clock
// skips that time today, so that the picked hour and minute are what the engine keeps.
QDateTime instantFor(QTime time, const QDateTime& now, const QTimeZone& zone);

// The remembered selected row of a rule table (-1 for none).
namespace RuleSelection {
// After a reload: none in an empty list, else at most the last row.
int restored(int remembered, int count);
// After the selected row was removed and the list has `newCount` rows.
int afterRemoval(int removed, int newCount);
// After an add: the last row of the list as the engine left it.
int afterAdd(int count);
} // namespace RuleSelection

// What the window's content asks of the window's height.
struct SettingsWindowLayout {
    double preferredContentHeight = 0;
    bool allowsDetailScrolling = false;

    bool operator==(const SettingsWindowLayout&) const = default;

    // From the fitting heights of the sidebar and of the detail page.
    static SettingsWindowLayout build(double sidebarHeight, double detailHeight,
                                      SettingsSection section);
};

// The window's content height for a layout on a screen whose available area is
// `availableHeight` high (none when the window has no screen).
struct SettingsWindowSize {
    static constexpr int width = 980;

    int contentHeight = 0;
    int maximumHeight = 0;
    // Whether the page is taller than the window and can be scrolled there.
    bool scrolls = false;

    bool operator==(const SettingsWindowSize&) const = default;

    static SettingsWindowSize fit(const SettingsWindowLayout& layout,
                                  std::optional<int> availableHeight);
};

} // namespace kelvo
