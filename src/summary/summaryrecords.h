#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelvo {

// The use of one AI tool within some span of days; `appName` is the grouping key.
struct AppUsageBucket {
    QString appName;
    double totalDuration = 0;
    qint64 launchCount = 0;

    bool operator==(const AppUsageBucket&) const = default;
};

// One local calendar day.
struct DayUsageAggregate {
    QDateTime day; // local midnight
    double totalDuration = 0;
    qint64 launchCount = 0;
    QList<AppUsageBucket> appBreakdown;

    bool operator==(const DayUsageAggregate&) const = default;
};

struct DailySummary {
    QDateTime day;
    double totalDuration = 0;
    qint64 launchCount = 0;
    QList<AppUsageBucket> appBreakdown;
    QString suggestion;
    std::optional<double> comparedToYesterdaySeconds;

    bool operator==(const DailySummary&) const = default;
};

// The last seven days against the seven before them.
struct TrendSummary {
    double recent7DayAverageDuration = 0;
    double previous7DayAverageDuration = 0;
    double recent7DayAverageLaunches = 0;
    double previous7DayAverageLaunches = 0;
    qint64 highUsageStreak = 0;
    std::optional<DayUsageAggregate> peakDay;
    QList<AppUsageBucket> topApps;
    QStringList suggestions;

    bool operator==(const TrendSummary&) const = default;
};

struct SummarySnapshot {
    DailySummary today;
    QList<DayUsageAggregate> recentDays; // oldest first, today last
    TrendSummary trend;

    bool operator==(const SummarySnapshot&) const = default;
};

} // namespace kelvo
