// The user's commands: every settings change, window command and the permission flow.

#include "appstate.h"

#include "appmonitor.h"
#include "clock.h"
#include "notificationservice.h"
#include "surfaces.h"

#include <QCollator>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace kelvo {

void AppState::setTime(const QDateTime& value, qint64& hour, qint64& minute)
{
    // An instant that the calendar cannot read keeps the previous values.
    if (value.isValid()) {
        const QTime local = value.toTimeZone(m_clock.timeZone()).time();
        hour = local.hour();
        minute = local.minute();
    }
    persistAndRefresh();
}

void AppState::setDailySummaryTime(const QDateTime& value)
{
    setTime(value, m_settings.dailySummaryHour, m_settings.dailySummaryMinute);
}

void AppState::setQuietHoursStart(const QDateTime& value)
{
    setTime(value, m_settings.quietHoursStartHour, m_settings.quietHoursStartMinute);
}

void AppState::setQuietHoursEnd(const QDateTime& value)
{
    setTime(value, m_settings.quietHoursEndHour, m_settings.quietHoursEndMinute);
}

void AppState::addMonitoredApp(const QString& displayName, AppMatchStrategy strategy,
                               const QString& matchValue)
{
    m_settings.monitoredApps.append({QUuid::createUuid(), displayName, strategy, matchValue});
    persistAndRefresh();
}

void AppState::removeMonitoredApp(const QUuid& id)
{
    m_settings.monitoredApps.removeIf(
        [&id](const MonitoredAppRule& rule) { return rule.id == id; });
    persistAndRefresh();
}

void AppState::addBrowserDomainRule(const QString& displayName, const QString& host)
{
    const QString normalized = normalizeBrowserHost(host);
    if (normalized.isEmpty())
        return;
    const QString trimmedName = displayName.trimmed();
    const BrowserDomainRule rule{normalized, trimmedName.isEmpty() ? normalized : trimmedName,
                                 QStringLiteral("globe")};

    QList<BrowserDomainRule>& rules = m_settings.browserDomainRules;
    const auto existing = std::find_if(rules.begin(), rules.end(), [&](const auto& candidate) {
        return candidate.host.compare(normalized, Qt::CaseInsensitive) == 0;
    });
    if (existing != rules.end()) {
        *existing = rule; // replaced in place; the list is not re-sorted
    } else {
        rules.append(rule);
        QCollator collator(QLocale::system());
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(rules.begin(), rules.end(), [&collator](const auto& a, const auto& b) {
            return collator.compare(a.displayName, b.displayName) < 0;
        });
    }
    persistAndRefresh();
}

void AppState::removeBrowserDomainRule(const QString& host)
{
    m_settings.browserDomainRules.removeIf([&host](const BrowserDomainRule& rule) {
        return rule.host.compare(host, Qt::CaseInsensitive) == 0;
    });
    persistAndRefresh();
}

void AppState::setRealtimeRemindersEnabled(bool enabled)
{
    m_settings.realtimeRemindersEnabled = enabled;
    persistAndRefresh();
}

void AppState::setDailySummaryEnabled(bool enabled)
{
    m_settings.dailySummaryEnabled = enabled;
    persistAndRefresh();
}

void AppState::setQuietHoursEnabled(bool enabled)
{
    m_settings.quietHoursEnabled = enabled;
    persistAndRefresh();
}

void AppState::setDesktopMonitoringEnabled(bool enabled)
{
    m_settings.desktopMonitoringEnabled = enabled;
    m_appMonitor.emitCurrentSnapshot();
    persistAndRefresh();
}

void AppState::setWebMonitoringEnabled(bool enabled)
{
    m_settings.webMonitoringEnabled = enabled;
    m_appMonitor.emitCurrentSnapshot();
    persistAndRefresh();
}

void AppState::setDesktopWidgetEnabled(bool enabled)
{
    m_settings.desktopWidgetEnabled = enabled;
    configureDesktopWidgetVisibility();
    persistAndRefresh();
}

void AppState::setAppearanceMode(AppearanceMode mode)
{
    m_settings.appearanceMode = mode;
    applyAppearanceMode();
    persistAndRefresh();
}

void AppState::toggleRealtimeRemindersFromMenu()
{
    setRealtimeRemindersEnabled(!m_settings.realtimeRemindersEnabled);
}

void AppState::toggleDailySummaryFromMenu()
{
    setDailySummaryEnabled(!m_settings.dailySummaryEnabled);
}

void AppState::toggleQuietHoursFromMenu()
{
    setQuietHoursEnabled(!m_settings.quietHoursEnabled);
}

void AppState::toggleDesktopWidgetFromMenu()
{
    setDesktopWidgetEnabled(!m_settings.desktopWidgetEnabled);
}

void AppState::toggleWebMonitoringFromMenu()
{
    setWebMonitoringEnabled(!m_settings.webMonitoringEnabled);
}

void AppState::applyAppearanceMode()
{
    m_surfaces.applyAppearance(m_settings.appearanceMode);
}

void AppState::openSettingsWindow()
{
    // After the current event (a menu click) has been handled; dropped if the engine is gone.
    QTimer::singleShot(0, this, [this] { m_surfaces.showSettingsWindow(); });
}

void AppState::sendManualDailySummary()
{
    QTimer::singleShot(0, this, [this] { m_surfaces.showSummaryWindow(); });
}

void AppState::quitApp()
{
    emit quitRequested();
}

void AppState::sendTestNotification()
{
    m_notificationService.sendTestNotification();
    QTimer::singleShot(0, this, [this] { syncNotificationAuthorizationStatus(); });
}

void AppState::storeAuthorizationStatus(NotificationAuthorizationState state)
{
    m_notificationAuthorizationStatus = state;
    m_surfaces.refreshSettingsWindow();
}

void AppState::requestNotificationAuthorization()
{
    const QPointer<AppState> self(this);
    const auto sendToSystemSettings = [self] {
        if (!self)
            return;
        self->m_notificationService.openSystemNotificationSettings();
        self->m_surfaces.presentNotificationSetupHelp();
    };
    m_notificationService.authorizationStatus([self, sendToSystemSettings](auto state) {
        if (!self)
            return;
        self->storeAuthorizationStatus(state);
        switch (state) {
        case NotificationAuthorizationState::unsupported:
        case NotificationAuthorizationState::authorized:
            return;
        case NotificationAuthorizationState::denied:
            sendToSystemSettings();
            return;
        case NotificationAuthorizationState::notDetermined:
            self->m_notificationService.requestAuthorization(
                [self, sendToSystemSettings](auto after) {
                    if (!self)
                        return;
                    self->storeAuthorizationStatus(after);
                    if (after != NotificationAuthorizationState::authorized)
                        sendToSystemSettings();
                });
            return;
        }
    });
}

} // namespace kelvo
