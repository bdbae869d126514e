// The summary window's texts and the chart's geometry, without a screen.

#include "summary/summarycomposer.h"
#include "ui/chartgeometry.h"
#include "ui/summarypresentation.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QTimeZone shanghai("Asia/Shanghai");
// 00:30 on 12 May in Shanghai, still 11 May in UTC.
const QDateTime now(QDate(2026, 5, 12), QTime(0, 30), shanghai);
// A week's totals for the chart; negative and NaN totals count as nothing.
const QList<double> week{3600, 1199, 1200, 0, -5, qQNaN(), 7200};

// The presentation as lines "part=value|detail", so a row names only what it checks.
QStringList linesOf(const SummaryPresentation& page)
{
    QStringList lines;
    const auto cards = [&](const char* part, const QList<SummaryCard>& list) {
        for (qsizetype i = 0; i < list.size(); ++i)
            lines << u"%1%2=%3|%4"_s.arg(QLatin1String(part))
                         .arg(i)
                         .arg(list[i].value, list[i].detail);
    };
    cards("metric", page.metrics);
    cards("pattern", page.patterns);
    lines << u"chart="_s + page.chartSummary;
    QStringList days;
    for (const ChartDay& day : page.chart)
        days << day.label + (day.isToday ? u"*"_s : QString());
    lines << u"days="_s + days.join(u' ');
    lines << u"tools=%1"_s.arg(page.tools.size());
    for (const SummaryToolRow& tool : page.tools)
        lines << u"tool=%1|%2|%3"_s.arg(tool.name, tool.duration, tool.launches);
    lines << u"plan="_s + page.plan.join(u'/');
    return lines;
}

QList<ChartDay> chartDays(const QList<double>& totals)
{
    QList<ChartDay> days;
    for (qsizetype i = 0; i < totals.size(); ++i)
        days.append({totals[i], u"5/%1"_s.arg(6 + i), i == totals.size() - 1});
    return days;
}

} // namespace

class TestSummaryPresentation final : public QObject {
    Q_OBJECT

private slots:
    void presentation_data();
    void presentation();
    void bars_data();
    void bars();
    void gridLabelsAndAverage();
};

void TestSummaryPresentation::presentation_data()
{
    QTest::addColumn<SummarySnapshot>("snapshot");
    QTest::addColumn<QStringList>("expected");

    const SummarySnapshot fresh = SummaryComposer::summarySnapshot({}, {}, now, shanghai);
    QTest::newRow("fresh install")
        << fresh
        << QStringList{u"metric0=0秒|今天还没有记录到 AI 前台使用"_s,
                       u"metric2=0秒|最近 7 天平均每天的使用时长"_s,
                       u"metric3=持平|前后两周基本持平"_s,
                       u"chart=过去 7 天累计 0秒，最高的一天是 5月6日，用了 0秒。"_s,
                       u"days=5/6 5/7 5/8 5/9 5/10 5/11 5/12*"_s,
                       u"pattern0=暂无|最近 7 天没有主工具"_s,
                       u"pattern1=0 天|最近没有连续高使用"_s,
                       u"pattern2=4月13日|0秒"_s,
                       u"tools=0"_s,
                       u"plan=最近没有明显的 AI 使用记录，继续保持先思考、后调用。"_s};

    SummarySnapshot busy = fresh;
    busy.today.totalDuration = 3600;
    busy.today.launchCount = 4;
    busy.trend.recent7DayAverageDuration = 130;
    busy.trend.previous7DayAverageDuration = 100;
    busy.trend.highUsageStreak = 3;
    for (int i = 0; i < 8; ++i)
        busy.trend.topApps.append({u"Tool %1"_s.arg(i), 3600.0 - i * 60, 8 - i});
    busy.recentDays[25].totalDuration = 5400;
    QTest::newRow("a busy week, eight tools")
        << busy
        << QStringList{u"metric0=1小时0分|今天累计的前台 AI 使用时长"_s,
                       u"metric1=4 次|今天命中监测规则的次数"_s,
                       u"metric3=+30秒|相比前 7 天更频繁"_s,
                       u"chart=过去 7 天累计 1小时30分，最高的一天是 5月8日，用了 1小时30分。"_s,
                       u"pattern0=Tool 0|1小时0分 / 8 次"_s,
                       u"pattern1=3 天|连续高于 45 分钟的天数"_s,
                       u"tools=5"_s,
                       u"tool=Tool 4|56分|4 次"_s};

    SummarySnapshot calmer = fresh;
    calmer.trend.previous7DayAverageDuration = 90;
    calmer.trend.topApps = {{u"Chat\nGPT  "_s + QString(500, u'长'), 59, 1}};
    QTest::newRow("calmer, a long name with a line break")
        << calmer
        << QStringList{u"metric3=-1分|相比前 7 天更收敛"_s,
                       u"pattern0=Chat GPT "_s + QString(500, u'长') + u"|59秒 / 1 次"_s};

    QTest::newRow("no days") << SummarySnapshot{}
                             << QStringList{u"chart=过去 0 天没有可用记录。"_s, u"days="_s,
                                            u"pattern2=暂无|最近没有明显峰值日"_s, u"plan="_s};
}

void TestSummaryPresentation::presentation()
{
    QFETCH(SummarySnapshot, snapshot);
    QFETCH(QStringList, expected);
    const QStringList lines = linesOf(SummaryPresentation::build(snapshot, now, shanghai));
    for (const QString& line : expected)
        QVERIFY2(lines.contains(line),
                 qPrintable(u"missing "_s + line + u"\nin "_s + lines.join(u'\n')));
}

// The chart 568 × 280 as in the window: plot 552 × 232, baseline at 246, bars 70 wide, 80 apart.
void TestSummaryPresentation::bars_data()
{
    QTest::addColumn<QList<double>>("totals");
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<ThemeRole>("colour");
    QTest::addColumn<qreal>("opacity");

    const QSizeF chart(568, 280);
    QTest::newRow("3600 s: risk") << week << chart << 0 << QRectF(8, 130, 70, 116)
                                  << ThemeRole::chartRisk << 0.72;
    QTest::newRow("1199 s: neutral") << week << chart << 1 << QRectF(88, 246 - 38.634, 70, 38.634)
                                     << ThemeRole::chartNeutral << 1.0;
    QTest::newRow("1200 s: warning") << week << chart << 2 << QRectF(168, 246 - 38.667, 70, 38.667)
                                     << ThemeRole::chartWarning << 0.72;
    QTest::newRow("NaN counts as nothing: 2 high")
        << week << chart << 5 << QRectF(408, 244, 70, 2) << ThemeRole::chartNeutral << 1.0;
    QTest::newRow("today: healthy, full height")
        << week << chart << 6 << QRectF(488, 14, 70, 232) << ThemeRole::chartHealthy << 1.0;
    QTest::newRow("quiet today, a minute scale")
        << QList<double>{0, 30} << chart << 1 << QRectF(289, 130, 271, 116)
        << ThemeRole::chartHealthy << 1.0;
    QTest::newRow("narrow: bars at least 18")
        << week << QSizeF(100, 100) << 6 << QRectF(176, 14, 18, 120) << ThemeRole::chartHealthy
        << 1.0;
}

void TestSummaryPresentation::bars()
{
    QFETCH(QList<double>, totals);
    QFETCH(QSizeF, size);
    QFETCH(int, index);
    QFETCH(QRectF, rect);
    const ChartGeometry chart = ChartGeometry::build(chartDays(totals), size);
    QCOMPARE(chart.bars.size(), totals.size());
    const ChartGeometry::Bar& bar = chart.bars.at(index);
    for (const auto& [got, want] : {std::pair(bar.rect.x(), rect.x()),
                                    {bar.rect.y(), rect.y()},
                                    {bar.rect.width(), rect.width()},
                                    {bar.rect.height(), rect.height()}})
        QVERIFY2(qAbs(got - want) < 0.001, qPrintable(u"%1 != %2"_s.arg(got).arg(want)));
    QTEST(bar.colour, "colour");
    QTEST(bar.opacity, "opacity");
}

void TestSummaryPresentation::gridLabelsAndAverage()
{
    const ChartGeometry chart = ChartGeometry::build(chartDays(week), QSizeF(568, 280));
    QVERIFY(!chart.empty);
    QCOMPARE(chart.gridLines, (QList<QLineF>{{8, 246, 560, 246},
                                             {8, 246 - 232.0 / 3, 560, 246 - 232.0 / 3},
                                             {8, 246 - 464.0 / 3, 560, 246 - 464.0 / 3},
                                             {8, 14, 560, 14}}));
    // Under the first, sixth and seventh bars.
    QCOMPARE(chart.labels,
             (QList<ChartGeometry::Label>{
                 {{4, 254}, u"5/6"_s}, {{404, 254}, u"5/11"_s}, {{484, 254}, u"5/12"_s}}));
    // The first point is the first day alone; the last the mean of all seven (13199 / 7 s).
    QCOMPARE(chart.average.size(), 7);
    QCOMPARE(chart.average.first(), QPointF(43, 130));
    QCOMPARE(chart.average.last().x(), 523.0);
    QVERIFY(qAbs(chart.average.last().y() - (246 - 232 * (13199.0 / 7) / 7200)) < 1e-9);

    const ChartGeometry none = ChartGeometry::build({}, QSizeF(568, 280));
    QVERIFY(none.empty && none.bars.isEmpty() && !none.emptyText.isEmpty());
}

QTEST_GUILESS_MAIN(TestSummaryPresentation)
#include "test_summarypresentation.moc"
