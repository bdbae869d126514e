#pragma once

#include "enums.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace kelvo {

// A desktop AI application rule; its identity is `id`.
struct MonitoredAppRule {
    QUuid id;
    QString displayName;
    AppMatchStrategy strategy = AppMatchStrategy::localizedNameContains;
    QString matchValue;

    bool operator==(const MonitoredAppRule&) const = default;

    // The five default rules, built once per process so their ids stay stable within it.
    static const QList<MonitoredAppRule>& defaultRules();
};

// An AI web application rule; its identity is `host`, but equality covers every field.
struct BrowserDomainRule {
    QString host;
    QString displayName;
    QString symbolName;

    bool operator==(const BrowserDomainRule&) const = default;
};

inline size_t qHash(const BrowserDomainRule& rule, size_t seed = 0)
{
    return qHashMulti(seed, rule.host, rule.displayName, rule.symbolName);
}

struct AppSettings {
    QList<MonitoredAppRule> monitoredApps;
    QList<BrowserDomainRule> browserDomainRules;
    bool realtimeRemindersEnabled = true;
    bool dailySummaryEnabled = true;
    qint64 dailySummaryHour = 20;
    qint64 dailySummaryMinute = 0;
    bool quietHoursEnabled = false;
    qint64 quietHoursStartHour = 22;
    qint64 quietHoursStartMinute = 0;
    qint64 quietHoursEndHour = 8;
    qint64 quietHoursEndMinute = 0;
    bool desktopMonitoringEnabled = true;
    bool webMonitoringEnabled = true;
    bool desktopWidgetEnabled = false;
    AppearanceMode appearanceMode = AppearanceMode::system;

    bool operator==(const AppSettings&) const = default;

    // Built once per process, so two uses in one process share the default rules' ids.
    static const AppSettings& defaults();
    static QList<BrowserDomainRule> defaultBrowserDomainRules();
};

} // namespace kelvo
