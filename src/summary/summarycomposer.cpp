#include "summarycomposer.h"

#include "summary/daytally.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <vector>

namespace kelvo::SummaryComposer {

using namespace Qt::StringLiterals;

namespace {

constexpr int snapshotDays = 30;
constexpr qsizetype trendWindow = 7;
constexpr double heavyDaySeconds = 5400;
constexpr qint64 frequentLaunches = 6;
constexpr double highUsageDaySeconds = 2700;

// A session reduced to what a day pass needs, so 30 passes do not touch QDateTime again.
struct SessionSpan {
    qint64 startMs;
    qint64 endMs;
    const QString* appName;
};

// A record without both instants cannot be placed on any day.
bool hasValidSpan(const AiUsageSession& session)
{
    return session.startedAt.isValid() && session.endedAt.isValid();
}

bool hasValidSpan(const std::optional<ActiveSession>& activeSession, const QDateTime& now)
{
    return activeSession && activeSession->startedAt.isValid() && now.isValid();
}

// Invalid when the zone cannot place the instant.
QDate localDate(const QDateTime& instant, const QTimeZone& calendar)
{
    return instant.toTimeZone(calendar).date();
}

// Instants in milliseconds since the epoch; a span is kept if it overlaps [startMs, endMs).
struct Window {
    qint64 startMs = std::numeric_limits<qint64>::max();
    qint64 endMs = std::numeric_limits<qint64>::min();

    void include(const DayTally& tally)
    {
        if (!tally.isValid())
            return;
        startMs = std::min(startMs, tally.dayStartMs());
        endMs = std::max(endMs, tally.dayEndMs());
    }

    bool overlaps(qint64 spanStartMs, qint64 spanEndMs) const
    {
        return spanEndMs > startMs && spanStartMs < endMs;
    }
};

// The stored sessions and the open one inside `window`; the rest cannot touch any of its days.
std::vector<SessionSpan> compactSpans(const QList<AiUsageSession>& sessions,
                                      const std::optional<ActiveSession>& activeSession,
                                      const QDateTime& now, const Window& window)
{
    std::vector<SessionSpan> spans;
    spans.reserve(std::size_t(sessions.size()) + 1);
    for (const AiUsageSession& session : sessions) {
        if (!hasValidSpan(session))
            continue;
        const qint64 startMs = session.startedAt.toMSecsSinceEpoch();
        const qint64 endMs = session.endedAt.toMSecsSinceEpoch();
        if (window.overlaps(startMs, endMs))
            spans.push_back({startMs, endMs, &session.appName});
    }
    if (hasValidSpan(activeSession, now)) {
        const qint64 startMs = activeSession->startedAt.toMSecsSinceEpoch();
        const qint64 endMs = now.toMSecsSinceEpoch();
        if (window.overlaps(startMs, endMs))
            spans.push_back({startMs, endMs, &activeSession->displayName});
    }
    return spans;
}

DailySummary dailySummary(const DayUsageAggregate& day, std::optional<double> comparedToYesterday)
{
    return {day.day,
            day.totalDuration,
            day.launchCount,
            day.appBreakdown,
            daySuggestion(day.totalDuration, day.launchCount),
            comparedToYesterday};
}

template <typename Projection>
double average(const QList<DayUsageAggregate>& days, Projection value)
{
    if (days.isEmpty())
        return 0;
    double sum = 0;
    for (const DayUsageAggregate& day : days)
        sum += double(value(day));
    return sum / double(days.size());
}

qint64 highUsageStreak(const QList<DayUsageAggregate>& days)
{
    qint64 streak = 0;
    for (auto it = days.crbegin(); it != days.crend() && it->totalDuration >= highUsageDaySeconds;
         ++it)
        ++streak;
    return streak;
}

// The day with the greatest total; the earlier day wins a tie.
std::optional<DayUsageAggregate> peakDay(const QList<DayUsageAggregate>& days)
{
    std::optional<DayUsageAggregate> peak;
    for (const DayUsageAggregate& day : days) {
        if (!peak || day.totalDuration > peak->totalDuration)
            peak = day;
    }
    return peak;
}

} // namespace

QList<AiUsageSession> mergedSessions(const QList<AiUsageSession>& sessions,
                                     const std::optional<ActiveSession>& activeSession,
                                     const QDateTime& now)
{
    if (!activeSession)
        return sessions;
    QList<AiUsageSession> merged;
    merged.reserve(sessions.size() + 1);
    merged.append(sessions);
    merged.append(activeSession->endedAt(now));
    return merged;
}

DayUsageAggregate buildDailyAggregate(const QDateTime& date,
                                      const QList<AiUsageSession>& mergedSessions,
                                      const QTimeZone& calendar)
{
    DayTally tally(localDate(date, calendar), calendar);
    if (!tally.isValid())
        return tally.result();
    const QDateTime& dayStart = tally.dayStart();
    const QDateTime& dayEnd = tally.dayEnd();
    for (const AiUsageSession& session : mergedSessions) {
        if (!hasValidSpan(session))
            continue;
        const QDateTime clippedStart = std::max(session.startedAt, dayStart);
        const QDateTime clippedEnd = std::min(session.endedAt, dayEnd);
        if (!(clippedStart < clippedEnd))
            continue;
        const bool launched = dayStart <= session.startedAt && session.startedAt < dayEnd;
        tally.addOverlap(session.appName, clippedStart.msecsTo(clippedEnd), launched);
    }
    return tally.result();
}

TrendSummary buildTrendSummary(const QList<DayUsageAggregate>& recentDays)
{
    const qsizetype count = recentDays.size();
    const qsizetype recentCount = std::min(trendWindow, count);
    const qsizetype previousCount = std::min(trendWindow, count - recentCount);
    const QList<DayUsageAggregate> recent = recentDays.sliced(count - recentCount);
    const QList<DayUsageAggregate> previous =
        recentDays.sliced(count - recentCount - previousCount, previousCount);
    const auto duration = [](const DayUsageAggregate& day) {
        return day.totalDuration;
    };
    const auto launches = [](const DayUsageAggregate& day) {
        return day.launchCount;
    };

    TrendSummary trend;
    trend.recent7DayAverageDuration = average(recent, duration);
    trend.previous7DayAverageDuration = average(previous, duration);
    trend.recent7DayAverageLaunches = average(recent, launches);
    trend.previous7DayAverageLaunches = average(previous, launches);
    trend.highUsageStreak = highUsageStreak(recentDays);
    trend.peakDay = peakDay(recentDays);
    trend.topApps = aggregateAppUsage(recent);
    trend.suggestions = buildSuggestions(
        recentDays, trend.recent7DayAverageDuration, trend.previous7DayAverageDuration,
        trend.recent7DayAverageLaunches, trend.topApps, trend.highUsageStreak);
    return trend;
}

QList<AppUsageBucket> aggregateAppUsage(const QList<DayUsageAggregate>& days)
{
    QList<AppUsageBucket> buckets;
    QHash<QString, qsizetype> indexByName;
    for (const DayUsageAggregate& day : days) {
        for (const AppUsageBucket& bucket : day.appBreakdown) {
            auto found = indexByName.constFind(bucket.appName);
            if (found == indexByName.constEnd()) {
                found = indexByName.insert(bucket.appName, buckets.size());
                buckets.append({bucket.appName, 0, 0});
            }
            AppUsageBucket& total = buckets[*found];
            total.totalDuration += bucket.totalDuration;
            total.launchCount += bucket.launchCount;
        }
    }
    sortInBucketOrder(buckets);
    return buckets;
}

QString daySuggestion(double totalDuration, qint64 launchCount)
{
    if (totalDuration >= heavyDaySeconds)
        return u"明天第一次用 AI 前，先写下你的判断，再让它补充。"_s;
    if (launchCount >= frequentLaunches)
        return u"你今天打开 AI 比较频繁，先列要点再看 AI 的补充，通常会更稳。"_s;
    if (totalDuration == 0)
        return u"今天没有记录到 AI 软件使用。保持你的判断先行。"_s;
    return u"把 AI 当补充意见，再用你的标准过一遍，会更放心。"_s;
}

DailySummary todaySummary(const QList<AiUsageSession>& sessions,
                          const std::optional<ActiveSession>& activeSession, const QDateTime& now,
                          const QTimeZone& calendar)
{
    const QDate todayDate = localDate(now, calendar);
    const QDate previousDate = todayDate.addDays(-1);
    DayTally today(todayDate, calendar);
    DayTally yesterday(previousDate.isValid() ? previousDate : todayDate, calendar);
    Window window;
    window.include(today);
    window.include(yesterday);
    // One pass over the stored sessions feeds both days; the open session counts for today only.
    for (const AiUsageSession& session : sessions) {
        if (!hasValidSpan(session))
            continue;
        const qint64 startMs = session.startedAt.toMSecsSinceEpoch();
        const qint64 endMs = session.endedAt.toMSecsSinceEpoch();
        if (!window.overlaps(startMs, endMs))
            continue;
        today.addSpan(startMs, endMs, session.appName);
        yesterday.addSpan(startMs, endMs, session.appName);
    }
    if (hasValidSpan(activeSession, now))
        today.addSpan(activeSession->startedAt.toMSecsSinceEpoch(), now.toMSecsSinceEpoch(),
                      activeSession->displayName);
    const DayUsageAggregate todayAggregate = today.result();
    return dailySummary(todayAggregate,
                        todayAggregate.totalDuration - yesterday.result().totalDuration);
}

SummarySnapshot summarySnapshot(const QList<AiUsageSession>& sessions,
                                const std::optional<ActiveSession>& activeSession,
                                const QDateTime& now, const QTimeZone& calendar)
{
    const QDate todayDate = localDate(now, calendar);
    std::vector<DayTally> tallies;
    Window window;
    for (int offset = snapshotDays - 1; todayDate.isValid() && offset >= 0; --offset) {
        const QDate date = todayDate.addDays(-offset);
        if (!date.isValid())
            continue;
        window.include(tallies.emplace_back(date, calendar));
    }
    // Most stored sessions (kept for 90 days) lie before the 30 days and are dropped here once.
    const std::vector<SessionSpan> spans = compactSpans(sessions, activeSession, now, window);
    SummarySnapshot snapshot;
    for (DayTally& tally : tallies) {
        for (const SessionSpan& span : spans)
            tally.addSpan(span.startMs, span.endMs, *span.appName);
        snapshot.recentDays.append(tally.result());
    }

    const QList<DayUsageAggregate>& days = snapshot.recentDays;
    DayUsageAggregate todayAggregate;
    todayAggregate.day = todayDate.startOfDay(calendar);
    if (!days.isEmpty())
        todayAggregate = days.last();
    std::optional<double> comparedToYesterday;
    if (days.size() >= 2)
        comparedToYesterday = todayAggregate.totalDuration - days.at(days.size() - 2).totalDuration;
    snapshot.today = dailySummary(todayAggregate, comparedToYesterday);
    snapshot.trend = buildTrendSummary(days);
    return snapshot;
}

} // namespace kelvo::SummaryComposer
