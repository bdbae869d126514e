#include "summarypresentation.h"

#include "summary/formatting.h"

namespace kelvo {

using namespace Qt::StringLiterals;

namespace {

QString times(qint64 count)
{
    return QString::number(count) + u" 次"_s;
}

// The day with the largest total; the earliest on a tie. Null for no days.
const DayUsageAggregate* peakOf(const QList<DayUsageAggregate>& days)
{
    const DayUsageAggregate* peak = nullptr;
    for (const DayUsageAggregate& day : days)
        if (!peak || day.totalDuration > peak->totalDuration)
            peak = &day;
    return peak;
}

QList<SummaryCard> metricCards(const SummarySnapshot& snapshot)
{
    const DailySummary& today = snapshot.today;
    const TrendSummary& trend = snapshot.trend;
    const double change = trend.recent7DayAverageDuration - trend.previous7DayAverageDuration;
    const QString changeDetail = change > 0   ? u"相比前 7 天更频繁"_s
                                 : change < 0 ? u"相比前 7 天更收敛"_s
                                              : u"前后两周基本持平"_s;
    return {
        {u"clock"_s, u"今日使用"_s, Formatting::duration(today.totalDuration),
         today.totalDuration > 0 ? u"今天累计的前台 AI 使用时长"_s
                                 : u"今天还没有记录到 AI 前台使用"_s},
        {u"arrow.up.circle"_s, u"今日启动次数"_s, times(today.launchCount),
         u"今天命中监测规则的次数"_s},
        {u"chart.bar"_s, u"最近 7 天日均"_s, Formatting::duration(trend.recent7DayAverageDuration),
         u"最近 7 天平均每天的使用时长"_s},
        {u"leaf"_s, u"相比前 7 天"_s, Formatting::signedDurationDelta(change), changeDetail},
    };
}

QList<SummaryCard> patternCards(const TrendSummary& trend, const QTimeZone& calendar)
{
    SummaryCard tool{u"sparkles"_s, u"最近主工具"_s, u"暂无"_s, u"最近 7 天没有主工具"_s};
    if (!trend.topApps.isEmpty()) {
        const AppUsageBucket& top = trend.topApps.first();
        // A name is shown on one line: line breaks and runs of spaces read as one space.
        tool.value = top.appName.simplified();
        tool.detail = Formatting::duration(top.totalDuration) + u" / "_s + times(top.launchCount);
    }
    const SummaryCard streak{
        u"flame"_s, u"连续高使用"_s, QString::number(trend.highUsageStreak) + u" 天"_s,
        trend.highUsageStreak >= 1 ? u"连续高于 45 分钟的天数"_s : u"最近没有连续高使用"_s};
    SummaryCard peak{u"calendar"_s, u"最高使用日"_s, u"暂无"_s, u"最近没有明显峰值日"_s};
    if (trend.peakDay) {
        peak.value = mediumDate(trend.peakDay->day, calendar);
        peak.detail = Formatting::duration(trend.peakDay->totalDuration);
    }
    return {tool, streak, peak};
}

} // namespace

QString mediumDate(const QDateTime& day, const QTimeZone& calendar)
{
    const QDate date = day.toTimeZone(calendar).date();
    return QString::number(date.month()) + u"月"_s + QString::number(date.day()) + u"日"_s;
}

QString shortDate(const QDateTime& day, const QTimeZone& calendar)
{
    const QDate date = day.toTimeZone(calendar).date();
    return QString::number(date.month()) + u'/' + QString::number(date.day());
}

QString SummaryPresentation::chartSummaryText(const QList<DayUsageAggregate>& days,
                                              const QTimeZone& calendar)
{
    const QString count = QString::number(days.size());
    const DayUsageAggregate* peak = peakOf(days);
    if (!peak)
        return u"过去 "_s + count + u" 天没有可用记录。"_s;
    double sum = 0;
    for (const DayUsageAggregate& day : days)
        sum += day.totalDuration;
    return u"过去 "_s + count + u" 天累计 "_s + Formatting::duration(sum) + u"，最高的一天是 "_s +
           mediumDate(peak->day, calendar) + u"，用了 "_s +
           Formatting::duration(peak->totalDuration) + u"。"_s;
}

SummaryPresentation SummaryPresentation::build(const SummarySnapshot& snapshot,
                                               const QDateTime& now, const QTimeZone& calendar)
{
    SummaryPresentation page;
    page.title = u"今日总结"_s;
    page.subtitle = u"近期使用情况汇总分析"_s;
    page.metrics = metricCards(snapshot);

    const QList<DayUsageAggregate> chartDays =
        snapshot.recentDays.mid(qMax<qsizetype>(0, snapshot.recentDays.size() - chartDayCount));
    page.chartSummary = chartSummaryText(chartDays, calendar);
    const QDate today = now.toTimeZone(calendar).date();
    for (const DayUsageAggregate& day : chartDays)
        page.chart.append({day.totalDuration, shortDate(day.day, calendar),
                           day.day.toTimeZone(calendar).date() == today});

    page.patterns = patternCards(snapshot.trend, calendar);
    for (const AppUsageBucket& bucket :
         snapshot.trend.topApps.first(qMin<qsizetype>(maxToolRows, snapshot.trend.topApps.size())))
        page.tools.append({bucket.appName.simplified(), Formatting::duration(bucket.totalDuration),
                           times(bucket.launchCount)});
    page.plan = snapshot.trend.suggestions;
    return page;
}

DesktopWidgetContent DesktopWidgetContent::fromSummary(const DailySummary& today)
{
    return {Formatting::duration(today.totalDuration), today.suggestion};
}

} // namespace kelvo
