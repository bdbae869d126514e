#include "usagebarchartview.h"

#include "ui/chartgeometry.h"
#include "ui/typography.h"

#include <QPainter>
#include <QPainterPath>

namespace kelvo {

namespace {

QColor faded(QColor colour, qreal opacity)
{
    colour.setAlphaF(colour.alphaF() * float(opacity));
    return colour;
}

} // namespace

UsageBarChartView::UsageBarChartView(QWidget* parent)
    : ThemedView(parent)
{
    setFixedHeight(280);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void UsageBarChartView::setDays(const QList<ChartDay>& days)
{
    if (days == m_days)
        return;
    m_days = days;
    update();
}

void UsageBarChartView::paintEvent(QPaintEvent*)
{
    const ChartGeometry chart = ChartGeometry::build(m_days, size());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor secondary = themeColor(ThemeRole::secondaryText);
    if (chart.empty) {
        painter.setFont(systemFont(13));
        painter.setPen(secondary);
        painter.drawText(QRectF(chart.emptyAt, QSizeF(width() - chart.emptyAt.x(), 24)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, chart.emptyText);
        return;
    }

    painter.setPen(QPen(faded(themeColor(ThemeRole::borderColor), ChartGeometry::gridOpacity), 1));
    painter.drawLines(chart.gridLines);

    painter.setPen(Qt::NoPen);
    for (const ChartGeometry::Bar& bar : chart.bars) {
        QPainterPath path;
        path.addRoundedRect(bar.rect, ChartGeometry::barRadius, ChartGeometry::barRadius);
        painter.fillPath(path, faded(themeColor(bar.colour), bar.opacity));
    }

    QPen line(themeColor(ThemeRole::chartAverage), ChartGeometry::averageLineWidth);
    line.setJoinStyle(Qt::RoundJoin);
    line.setCapStyle(Qt::RoundCap);
    painter.setPen(line);
    painter.drawPolyline(chart.average);

    painter.setFont(systemFont(ChartGeometry::labelPixelSize));
    painter.setPen(secondary);
    for (const ChartGeometry::Label& label : chart.labels)
        painter.drawText(QRectF(label.topLeft, QSizeF(60, 16)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label.text);
}

} // namespace kelvo
