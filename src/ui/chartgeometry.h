#pragma once

#include "summarypresentation.h"
#include "theme.h"

#include <QLineF>
#include <QList>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>

namespace kelvo {

// Where everything of the seven-day chart goes, in view coordinates with the origin at the top
// left: the bars and their colours, the grid, the moving-average line and the date labels.
struct ChartGeometry {
    struct Bar {
        QRectF rect;
        ThemeRole colour = ThemeRole::chartNeutral;
        qreal opacity = 1;

        bool operator==(const Bar&) const = default;
    };
    struct Label {
        QPointF topLeft;
        QString text;

        bool operator==(const Label&) const = default;
    };

    static constexpr qreal barRadius = 4;
    static constexpr qreal averageLineWidth = 2.5;
    static constexpr qreal gridOpacity = 0.55;
    static constexpr int averageWindow = 7;
    static constexpr int labelPixelSize = 10;

    // True when there are no days: the view shows `emptyText` at `emptyAt` and nothing else.
    bool empty = true;
    QString emptyText;
    QPointF emptyAt;
    QList<QLineF> gridLines; // baseline first, then upwards
    QList<Bar> bars;
    QPolygonF average;
    QList<Label> labels;

    static ChartGeometry build(const QList<ChartDay>& days, const QSizeF& size);
};

// The trailing moving average: for each day, the mean of it and up to window − 1 days before.
QList<double> movingAverage(const QList<double>& totals, int window);

} // namespace kelvo
