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

QList<DayUsageAggregate> daysWith(const QList<double>& totals)
{
    QList<DayUsageAggregate> days;
    for (double total : totals)
        days.append({QDateTime(), total, 0, {}});
    return days;
}

} // namespace

class TestInsights final : public QObject {
    Q_OBJECT

private slots:
    void suggestions_data()
    {
        QTest::addColumn<QList<double>>("dayTotals");
        QTest::addColumn<QList<double>>("averages"); // recent duration, previous duration, launches
        QTest::addColumn<double>("topAppSeconds");   // "Claude"; negative for no tools
        QTest::addColumn<qint64>("highUsageStreak");
        QTest::addColumn<QStringList>("expected");

        const QList<double> empty(30, 0.0);
        const QList<double> week{1000, 1000, 1000, 2000, 2000, 1500, 1500}; // 10000 s in all
        QTest::newRow("nothing used")
            << empty << QList<double>{0, 0, 0} << -1.0 << qint64(0) << QStringList{quiet};
        QTest::newRow("steady") << week << QList<double>{1000, 500, 1} << 5000.0 << qint64(2)
                                << QStringList{steady};
        QTest::newRow("increase of exactly 900 s")
            << week << QList<double>{1000, 100, 1} << 0.0 << qint64(0) << QStringList{steady};
        QTest::newRow("increase of 901 s") << week << QList<double>{1000, 99, 1} << 0.0 << qint64(0)
                                           << QStringList{increased.arg(u"15分"_s)};
        QTest::newRow("five launches a day") << week << QList<double>{30000, 30000, 5.0} << 0.0
                                             << qint64(0) << QStringList{scattered};
        QTest::newRow("four launches of ten minutes")
            << week << QList<double>{2400, 2400, 4} << 0.0 << qint64(0) << QStringList{steady};
        QTest::newRow("four launches of seven minutes")
            << week << QList<double>{1680, 1680, 4} << 0.0 << qint64(0) << QStringList{scattered};
        QTest::newRow("three launches of exactly 8 minutes")
            << week << QList<double>{1440, 1440, 3.0} << 0.0 << qint64(0) << QStringList{steady};
        QTest::newRow("just below three launches")
            << week << QList<double>{60, 60, 2.99} << 0.0 << qint64(0) << QStringList{steady};
        QTest::newRow("streak of three") << week << QList<double>{1000, 1000, 1} << 0.0 << qint64(3)
                                         << QStringList{streak.arg(3)};
        QTest::newRow("streak of twelve") << week << QList<double>{1000, 1000, 1} << 0.0
                                          << qint64(12) << QStringList{streak.arg(12)};
        QTest::newRow("70% on one tool")
            << week << QList<double>{1000, 1000, 1} << 7000.0 << qint64(0) << QStringList{focused};
        QTest::newRow("69.9% on one tool")
            << week << QList<double>{1000, 1000, 1} << 6990.0 << qint64(0) << QStringList{steady};
        // Only the last seven days count as the denominator, whatever came before.
        QTest::newRow("older days outside the share")
            << QList<double>{90000, 90000} + week << QList<double>{1000, 1000, 1} << 7000.0
            << qint64(0) << QStringList{focused};
        QTest::newRow("tool but no time in the days")
            << empty << QList<double>{0, 0, 0} << 600.0 << qint64(0) << QStringList{quiet};
        QTest::newRow("all four rules, cut to three")
            << week << QList<double>{3000, 60, 6} << 9000.0 << qint64(4)
            << QStringList{increased.arg(u"49分"_s), scattered, streak.arg(4)};
    }
    void suggestions()
    {
        QFETCH(QList<double>, dayTotals);
        QFETCH(QList<double>, averages);
        QFETCH(double, topAppSeconds);
        QFETCH(qint64, highUsageStreak);
        QFETCH(QStringList, expected);
        QList<AppUsageBucket> topApps;
        if (topAppSeconds >= 0)
            topApps = {{u"Claude"_s, topAppSeconds, 3}, {u"Cursor"_s, 10, 1}};
        QCOMPARE(SummaryComposer::buildSuggestions(daysWith(dayTotals), averages[0], averages[1],
                                                   averages[2], topApps, highUsageStreak),
                 expected);
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
