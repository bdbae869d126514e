#include "chartgeometry.h"

#include <cmath>

namespace kelvo {

namespace {

constexpr qreal leftEdge = 8;
constexpr qreal barGap = 10;
constexpr qreal minimumScale = 60;
constexpr qreal minimumBarHeight = 2;
constexpr double riskSeconds = 3600;
constexpr double warningSeconds = 1200;

ChartGeometry::Bar colourOf(const ChartDay& day)
{
    if (day.isToday)
        return {{}, ThemeRole::chartHealthy, 1};
    if (day.totalDuration >= riskSeconds)
        return {{}, ThemeRole::chartRisk, 0.72};
    if (day.totalDuration >= warningSeconds)
        return {{}, ThemeRole::chartWarning, 0.72};
    return {{}, ThemeRole::chartNeutral, 1};
}

// A total the chart can scale: negative, infinite and NaN totals count as nothing.
double drawable(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

} // namespace

QList<double> movingAverage(const QList<double>& totals, int window)
{
    QList<double> averages;
    if (window <= 0)
        return averages;
    double sum = 0;
    for (qsizetype i = 0; i < totals.size(); ++i) {
        sum += totals.at(i);
        if (i >= window)
            sum -= totals.at(i - window);
        averages.append(sum / double(qMin<qsizetype>(i + 1, window)));
    }
    return averages;
}

ChartGeometry ChartGeometry::build(const QList<ChartDay>& days, const QSizeF& size)
{
    ChartGeometry chart;
    if (days.isEmpty()) {
        chart.emptyText = QStringLiteral("最近 30 天没有可显示的数据");
        chart.emptyAt = {10, 10};
        return chart;
    }
    chart.empty = false;
    const qreal plotWidth = qMax(size.width() - 16, qreal(120));
    const qreal plotHeight = qMax(size.height() - 48, qreal(120));
    const qsizetype count = days.size();
    const qreal baseline = plotHeight + 14;
    const qreal rightEdge = plotWidth + 8;

    QList<double> totals;
    double largest = 0;
    for (const ChartDay& day : days) {
        totals.append(drawable(day.totalDuration));
        largest = qMax(largest, totals.last());
    }
    const double scaleMax = qMax(largest, double(minimumScale));
    const qreal barWidth =
        qMax(std::floor((plotWidth - barGap * qreal(count - 1)) / qreal(count)), qreal(18));

    for (int step = 0; step < 4; ++step) {
        const qreal y = baseline - plotHeight * step / 3;
        chart.gridLines.append(QLineF(leftEdge, y, rightEdge, y));
    }
    const QList<double> averages = movingAverage(totals, averageWindow);
    for (qsizetype i = 0; i < count; ++i) {
        const qreal x = leftEdge + qreal(i) * (barWidth + barGap);
        const qreal height = qMax(plotHeight * totals.at(i) / scaleMax, minimumBarHeight);
        Bar bar = colourOf(days.at(i));
        bar.rect = QRectF(x, baseline - height, barWidth, height);
        chart.bars.append(bar);
        chart.average.append(
            QPointF(x + barWidth / 2, baseline - plotHeight * averages.at(i) / scaleMax));
        if (i % 5 == 0 || i == count - 1)
            chart.labels.append({QPointF(x - 4, baseline + 8), days.at(i).label});
    }
    return chart;
}

} // namespace kelvo
