#include "summary/formatting.h"
#include "summary/summarycomposer.h"

#include <algorithm>

namespace kelvo::SummaryComposer {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype maxSuggestions = 3;
constexpr qsizetype recentWindow = 7;
constexpr double notableIncreaseSeconds = 900;
constexpr double frequentLaunchesPerDay = 5.0;
constexpr double repeatedLaunchesPerDay = 3.0;
constexpr double shortLaunchSeconds = 480;
constexpr qint64 notableStreak = 3;
constexpr double concentratedShare = 0.7;

// Whether one tool has at least 70% of the time of the last seven days.
bool isConcentrated(const QList<DayUsageAggregate>& recentDays,
                    const QList<AppUsageBucket>& topApps)
{
    if (topApps.isEmpty())
        return false;
    double recentTotal = 0;
    const qsizetype first = recentDays.size() - std::min(recentWindow, recentDays.size());
    for (qsizetype i = first; i < recentDays.size(); ++i)
        recentTotal += recentDays.at(i).totalDuration;
    return recentTotal > 0 && topApps.first().totalDuration / recentTotal >= concentratedShare;
}

} // namespace

QStringList buildSuggestions(const QList<DayUsageAggregate>& recentDays,
                             double recentAverageDuration, double previousAverageDuration,
                             double recentAverageLaunches, const QList<AppUsageBucket>& topApps,
                             qint64 highUsageStreak)
{
    QStringList texts;
    const double increase = recentAverageDuration - previousAverageDuration;
    if (increase > notableIncreaseSeconds)
        texts << u"最近 7 天日均使用比前 7 天增加了 "_s + Formatting::duration(increase) +
                     u"，建议把第一次 AI 使用放到完成提纲之后。"_s;
    // At three or more launches the division is safe.
    if (recentAverageLaunches >= frequentLaunchesPerDay ||
        (recentAverageLaunches >= repeatedLaunchesPerDay &&
         recentAverageDuration / recentAverageLaunches < shortLaunchSeconds))
        texts << u"你最近更像是在频繁短开 AI，建议把零散问题合并成 2 次集中使用。"_s;
    if (highUsageStreak >= notableStreak)
        texts << u"你已连续 "_s + QString::number(highUsageStreak) +
                     u" 天处于较高使用，建议明天安排一个 20 分钟无 AI 工作块。"_s;
    if (isConcentrated(recentDays, topApps))
        texts << u"最近使用高度集中在 "_s + topApps.first().appName +
                     u"，下次先自己写 3 个要点，再打开它。"_s;

    if (texts.isEmpty()) {
        texts << (recentAverageDuration == 0
                      ? u"最近没有明显的 AI 使用记录，继续保持先思考、后调用。"_s
                      : u"整体使用较稳定，继续把 AI 放在起草之后、核验之前。"_s);
    }
    if (texts.size() > maxSuggestions)
        texts.resize(maxSuggestions);
    return texts;
}

QString notificationBody(const DailySummary& summary)
{
    QString body = u"今天共使用 AI "_s + Formatting::duration(summary.totalDuration) +
                   u"，启动 "_s + QString::number(summary.launchCount) + u" 次"_s;
    if (const std::optional<double>& compared = summary.comparedToYesterdaySeconds) {
        if (*compared > 0)
            body += u"，比昨天多 "_s + Formatting::duration(*compared);
        else if (*compared < 0)
            body += u"，比昨天少 "_s + Formatting::duration(-*compared);
        else
            body += u"，与昨天持平"_s;
    }
    return body + u"。"_s + summary.suggestion;
}

} // namespace kelvo::SummaryComposer
