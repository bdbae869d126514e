#pragma once

#include "model/activesession.h"
#include "model/usagesession.h"
#include "summary/summaryrecords.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

// Stateless operations that turn usage sessions into day and tool figures and advice texts.
// `calendar` is the user's time zone; days are its local calendar days (Gregorian).
namespace kelvo::SummaryComposer {

// The stored sessions, followed by the open session (if any) as a record that ends at `now`.
QList<AiUsageSession> mergedSessions(const QList<AiUsageSession>& sessions,
                                     const std::optional<ActiveSession>& activeSession,
                                     const QDateTime& now);

// Time and launches of the local day containing `date`; zero when the zone cannot place it.
DayUsageAggregate buildDailyAggregate(const QDateTime& date,
                                      const QList<AiUsageSession>& mergedSessions,
                                      const QTimeZone& calendar);

// Averages of the last seven days and of the seven before, streak, peak day, tools and advice.
TrendSummary buildTrendSummary(const QList<DayUsageAggregate>& recentDays);

// Per-tool totals over the given days, in bucket order.
QList<AppUsageBucket> aggregateAppUsage(const QList<DayUsageAggregate>& days);

// The one advice sentence for a day with these figures.
QString daySuggestion(double totalDuration, qint64 launchCount);

// Today's figures including the open session, compared with yesterday's stored sessions only.
DailySummary todaySummary(const QList<AiUsageSession>& sessions,
                          const std::optional<ActiveSession>& activeSession, const QDateTime& now,
                          const QTimeZone& calendar);

// The last 30 days (oldest first, today last) including the open session, today and the trend.
SummarySnapshot summarySnapshot(const QList<AiUsageSession>& sessions,
                                const std::optional<ActiveSession>& activeSession,
                                const QDateTime& now, const QTimeZone& calendar);

// One to three advice texts from the trend figures, in rule order.
QStringList buildSuggestions(const QList<DayUsageAggregate>& recentDays,
                             double recentAverageDuration, double previousAverageDuration,
                             double recentAverageLaunches, const QList<AppUsageBucket>& topApps,
                             qint64 highUsageStreak);

// The body of the daily-summary notification.
QString notificationBody(const DailySummary& summary);

} // namespace kelvo::SummaryComposer
