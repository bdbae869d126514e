#pragma once

#include "themedview.h"
#include "ui/summarypresentation.h"

namespace kelvo {

// The seven-day bar chart with its moving-average line; paints what ChartGeometry computes.
class UsageBarChartView final : public ThemedView {
    Q_OBJECT

public:
    explicit UsageBarChartView(QWidget* parent = nullptr);

    void setDays(const QList<ChartDay>& days);
    const QList<ChartDay>& days() const { return m_days; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<ChartDay> m_days;
};

} // namespace kelvo
