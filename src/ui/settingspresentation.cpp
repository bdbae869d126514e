#include "settingspresentation.h"

#include "engine/appstate.h"
#include "engine/clock.h"

#include <algorithm>
#include <cmath>

namespace kelvo {

namespace {

QString oneLine(QString text)
{
    // A pasted name may hold line breaks; a table row shows one line.
    for (QChar& character : text) {
        if (character == u'\n' || character == u'\r' || character == QChar::LineSeparator ||
            character == QChar::ParagraphSeparator || character == u'\t')
            character = u' ';
    }
    return text;
}

} // namespace

QList<SettingsSection> SettingsSectionInfo::all()
{
    return {SettingsSection::monitoring, SettingsSection::reminders, SettingsSection::appearance};
}

SettingsSectionInfo SettingsSectionInfo::of(SettingsSection section)
{
    switch (section) {
    case SettingsSection::monitoring:
        return {QStringLiteral("监测范围"),
                QStringLiteral("网页监控与桌面监控都采用统一的卡片化面板管理。"),
                QStringLiteral("waveform.path.ecg")};
    case SettingsSection::reminders:
        return {QStringLiteral("通知与总结"),
                QStringLiteral("像设置通知一样管理提醒、总结和静默时段。"),
                QStringLiteral("bell.badge")};
    case SettingsSection::appearance:
        break;
    }
    return {QStringLiteral("外观与小组件"),
            QStringLiteral("主题模式采用页面内直接选择，小组件提供预览效果。"),
            QStringLiteral("paintbrush.pointed")};
}

NotificationControls NotificationControls::of(NotificationAuthorizationState state)
{
    switch (state) {
    case NotificationAuthorizationState::unsupported:
        return {QStringLiteral("当前会话没有可用的系统通知服务，提醒会写到标准错误输出。"),
                ThemeRole::secondaryText, QStringLiteral("通知服务不可用"), false, false};
    case NotificationAuthorizationState::notDetermined:
        return {QStringLiteral("通知权限尚未授予。点击下方按钮后，系统会弹出授权提示。"),
                ThemeRole::secondaryText, QStringLiteral("启用通知权限"), true, false};
    case NotificationAuthorizationState::denied:
        return {QStringLiteral("通知权限已关闭。点击下方按钮后，会打开系统设置，你可以在“通知 > "
                               "Kelvo”里开启提醒。"),
                ThemeRole::chartRisk, QStringLiteral("打开系统通知设置"), true, false};
    case NotificationAuthorizationState::authorized:
        break;
    }
    return {QStringLiteral("通知权限已开启。可以发送一条测试通知确认横幅展示正常。"),
            ThemeRole::secondaryText, QStringLiteral("通知已启用"), false, true};
}

SettingsModel SettingsModel::build(const AppSettings& settings,
                                   NotificationAuthorizationState notifications)
{
    SettingsModel model;
    model.webMonitoring = settings.webMonitoringEnabled;
    model.desktopMonitoring = settings.desktopMonitoringEnabled;
    model.realtimeReminders = settings.realtimeRemindersEnabled;
    model.dailySummary = settings.dailySummaryEnabled;
    model.quietHours = settings.quietHoursEnabled;
    model.desktopWidget = settings.desktopWidgetEnabled;
    model.dailySummaryTime = lenientTime(settings.dailySummaryHour, settings.dailySummaryMinute);
    model.quietStart = lenientTime(settings.quietHoursStartHour, settings.quietHoursStartMinute);
    model.quietEnd = lenientTime(settings.quietHoursEndHour, settings.quietHoursEndMinute);
    model.quietPickersEnabled = settings.quietHoursEnabled;
    model.appearance = settings.appearanceMode;
    model.notifications = NotificationControls::of(notifications);
    for (const BrowserDomainRule& rule : settings.browserDomainRules) {
        model.webRules.append({oneLine(rule.displayName), oneLine(rule.host)});
        model.webHosts.append(rule.host);
    }
    for (const MonitoredAppRule& rule : settings.monitoredApps) {
        const QString strategy = rule.strategy == AppMatchStrategy::bundleIdentifier
                                     ? QStringLiteral("应用 ID")
                                     : QStringLiteral("应用名关键字");
        model.desktopRules.append({oneLine(rule.displayName),
                                   strategy + QStringLiteral(": ") + oneLine(rule.matchValue)});
        model.desktopIds.append(rule.id);
    }
    return model;
}

std::optional<SettingsCommand> SettingsCommand::addWebRule(const QString& name, const QString& host)
{
    const QString trimmedHost = host.trimmed();
    if (trimmedHost.isEmpty())
        return std::nullopt;
    SettingsCommand command;
    command.kind = Kind::addWebRule;
    command.name = name.trimmed();
    command.value = trimmedHost;
    return command;
}

std::optional<SettingsCommand> SettingsCommand::addDesktopRule(const QString& name,
                                                               bool byApplicationId,
                                                               const QString& matchValue)
{
    const QString trimmedName = name.trimmed();
    const QString trimmedValue = matchValue.trimmed();
    if (trimmedName.isEmpty() || trimmedValue.isEmpty())
        return std::nullopt;
    SettingsCommand command;
    command.kind = Kind::addDesktopRule;
    command.name = trimmedName;
    command.value = trimmedValue;
    command.strategy = byApplicationId ? AppMatchStrategy::bundleIdentifier
                                       : AppMatchStrategy::localizedNameContains;
    return command;
}

QDateTime instantFor(QTime time, const QDateTime& now, const QTimeZone& zone)
{
    const QDate today = now.toTimeZone(zone).date();
    // A daylight-saving gap never spans two days running.
    for (const int offset : {0, -1, 1}) {
        const QDateTime candidate(today.addDays(offset), time, zone);
        if (candidate.isValid() && candidate.toTimeZone(zone).time() == time)
            return candidate;
    }
    return {};
}

void sendSettingsCommand(AppState& engine, const Clock& clock, const SettingsCommand& command)
{
    using Kind = SettingsCommand::Kind;
    const auto instant = [&] {
        return instantFor(command.time, clock.now(), clock.timeZone());
    };
    switch (command.kind) {
    case Kind::setWebMonitoring:
        return engine.setWebMonitoringEnabled(command.enabled);
    case Kind::setDesktopMonitoring:
        return engine.setDesktopMonitoringEnabled(command.enabled);
    case Kind::setRealtimeReminders:
        return engine.setRealtimeRemindersEnabled(command.enabled);
    case Kind::setDailySummary:
        return engine.setDailySummaryEnabled(command.enabled);
    case Kind::setQuietHours:
        return engine.setQuietHoursEnabled(command.enabled);
    case Kind::setDesktopWidget:
        return engine.setDesktopWidgetEnabled(command.enabled);
    case Kind::setDailySummaryTime:
        return engine.setDailySummaryTime(instant());
    case Kind::setQuietStart:
        return engine.setQuietHoursStart(instant());
    case Kind::setQuietEnd:
        return engine.setQuietHoursEnd(instant());
    case Kind::addWebRule:
        return engine.addBrowserDomainRule(command.name, command.value);
    case Kind::removeWebRule:
        return engine.removeBrowserDomainRule(command.value);
    case Kind::addDesktopRule:
        return engine.addMonitoredApp(command.name, command.strategy, command.value);
    case Kind::removeDesktopRule:
        return engine.removeMonitoredApp(command.id);
    case Kind::setAppearance:
        return engine.setAppearanceMode(command.mode);
    case Kind::requestNotificationPermission:
        return engine.requestNotificationAuthorization();
    case Kind::sendTestNotification:
        return engine.sendTestNotification();
    }
}

namespace RuleSelection {

int restored(int remembered, int count)
{
    if (count <= 0)
        return -1;
    return qMin(remembered, count - 1);
}

int afterRemoval(int removed, int newCount)
{
    return removed >= newCount - 1 ? removed - 1 : removed;
}

int afterAdd(int count)
{
    return qMax(count - 1, 0);
}

} // namespace RuleSelection

SettingsWindowLayout SettingsWindowLayout::build(double sidebarHeight, double detailHeight,
                                                 SettingsSection section)
{
    return {std::max({sidebarHeight + 40, detailHeight + 48, 480.0}),
            section == SettingsSection::monitoring};
}

SettingsWindowSize SettingsWindowSize::fit(const SettingsWindowLayout& layout,
                                           std::optional<int> availableHeight)
{
    SettingsWindowSize size;
    size.maximumHeight = availableHeight ? qMax(*availableHeight - 140, 500) : 820;
    const int preferred = int(std::ceil(layout.preferredContentHeight));
    size.contentHeight = qMin(size.maximumHeight, preferred);
    size.scrolls = layout.allowsDetailScrolling && preferred > size.contentHeight;
    return size;
}

} // namespace kelvo
