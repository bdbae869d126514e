#include "summary/summarycomposer.h"

#include <QTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QString increased =
    u"最近 7 天日均使用比前 7 天增加了 %1，建议把第一次 AI 使用放到完成提纲之后。"_s;
const QString scattered = u"你最近更像是在频繁短开 AI，建议把零散问题合并成 2 次集中使用。"_s;
const QString streak = u"你已连续 %1 天处于较高使用，建议明天安排一个 20 分钟无 AI 工作块。"_s;
const QString focused = u"最近使用高度集中在 Claude，下次先自己写 3 个要点，再打开它。"_s;
const QString quiet = u"最近没有明显的 AI 使用记录，继续保持先思考、后调用。"_s;
const QString steady = u"整体使用较稳定，继续把 AI 放在起草之后、核验之前。"_s;

// Seven days at the recent average, after two heavy days that must not count towards a tool's
// share of the last seven days.
QList<DayUsageAggregate> daysAt(double recentAverage)
{
    QList<DayUsageAggregate> days(2, {QDateTime(), 90000, 0, {}});
    for (int i = 0; i < 7; ++i)
        days.append({QDateTime(), recentAverage, 0, {}});
    return days;
}

} // namespace

class TestInsights final : public QObject {
    Q_OBJECT

private slots:
    void suggestions_data()
    {
        QTest::addColumn<QList<double>>("averages"); // recent duration, previous duration, launches
        QTest::addColumn<double>("topAppSeconds");   // "Claude"; negative for no tools
        QTest::addColumn<qint64>("highUsageStreak");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QList<double>& averages, double topAppSeconds,
                            qint64 streakDays, const QStringList& expected) {
            QTest::newRow(name) << averages << topAppSeconds << streakDays << expected;
        };
        row("nothing used", {0, 0, 0}, -1, 0, {quiet});
        row("tool but no time in the days", {0, 0, 0}, 600, 0, {quiet});
        row("steady, streak of two", {1000, 500, 1}, 3000, 2, {steady});
        row("increase of exactly 900 s", {1000, 100, 1}, 0, 0, {steady});
        row("increase of 901 s", {1000, 99, 1}, 0, 0, {increased.arg(u"15分"_s)});
        row("five launches a day", {30000, 30000, 5}, 0, 0, {scattered});
        row("four launches of seven minutes", {1680, 1680, 4}, 0, 0, {scattered});
        row("three launches of exactly 8 minutes", {1440, 1440, 3}, 0, 0, {steady});
        row("just below three launches", {60, 60, 2.99}, 0, 0, {steady});
        row("streak of three", {1000, 1000, 1}, 0, 3, {streak.arg(3)});
        row("70% on one tool", {1000, 1000, 1}, 4900, 0, {focused});
        row("69.9% on one tool", {1000, 1000, 1}, 4893, 0, {steady});
        row("all four rules, cut to three", {3000, 60, 6}, 20000, 4,
            {increased.arg(u"49分"_s), scattered, streak.arg(4)});
    }

    void suggestions()
    {
        QFETCH(QList<double>, averages);
        QFETCH(double, topAppSeconds);
        QFETCH(qint64, highUsageStreak);
        QList<AppUsageBucket> topApps;
        if (topAppSeconds >= 0)
            topApps = {{u"Claude"_s, topAppSeconds, 3}, {u"Cursor"_s, 10, 1}};
        QTEST(SummaryComposer::buildSuggestions(daysAt(averages[0]), averages[0], averages[1],
                                                averages[2], topApps, highUsageStreak),
              "expected");
    }

    void notificationBody_data()
    {
        QTest::addColumn<double>("total");
        QTest::addColumn<qint64>("launches");
        QTest::addColumn<std::optional<double>>("compared");
        QTest::addColumn<QString>("expected");

        QTest::newRow("more than yesterday")
            << 3900.0 << qint64(4) << std::optional(600.0)
            << u"今天共使用 AI 1小时5分，启动 4 次，比昨天多 10分。"_s;
        QTest::newRow("less than yesterday") << 30.0 << qint64(1) << std::optional(-90.0)
                                             << u"今天共使用 AI 30秒，启动 1 次，比昨天少 1分。"_s;
        QTest::newRow("same as yesterday") << 0.0 << qint64(0) << std::optional(0.0)
                                           << u"今天共使用 AI 0秒，启动 0 次，与昨天持平。"_s;
        QTest::newRow("no comparison")
            << 120.0 << qint64(2) << std::optional<double>() << u"今天共使用 AI 2分，启动 2 次。"_s;
    }

    void notificationBody()
    {
        QFETCH(double, total);
        QFETCH(qint64, launches);
        QFETCH(std::optional<double>, compared);
        QFETCH(QString, expected);
        const QString suggestion = u"把 AI 当补充意见，再用你的标准过一遍，会更放心。"_s;
        const DailySummary summary{QDateTime(), total, launches, {}, suggestion, compared};
        QCOMPARE(SummaryComposer::notificationBody(summary), expected + suggestion);
    }
};

QTEST_GUILESS_MAIN(TestInsights)
#include "test_insights.moc"
