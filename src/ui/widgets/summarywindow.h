#pragma once

#include "themedview.h"
#include "ui/summarypresentation.h"

#include <array>

class QVBoxLayout;

namespace kelvo {

class SummaryCardView;
class UsageBarChartView;
class WrappingLabel;

// The summary window: today's four figures, the seven-day chart, the three pattern cards, the
// most used tools and the improvement plan. Fixed at 1080 × 780; closing only hides it.
class SummaryWindow final : public ThemedView {
    Q_OBJECT

public:
    static constexpr QSize contentSize{1080, 780};

    explicit SummaryWindow(QWidget* parent = nullptr);

    // Redraws every part from `page`; parts that did not change are left alone.
    void setPresentation(const SummaryPresentation& page);
    const SummaryPresentation& presentation() const { return m_page; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildMainRow();
    QWidget* buildPlanCard();
    void rebuildTools(const QList<SummaryToolRow>& tools);
    void rebuildPlan(const QStringList& plan);

    SummaryPresentation m_page;
    bool m_filled = false;
    WrappingLabel* m_title = nullptr;
    WrappingLabel* m_subtitle = nullptr;
    std::array<SummaryCardView*, 4> m_metrics{};
    std::array<SummaryCardView*, 3> m_patterns{};
    WrappingLabel* m_chartSummary = nullptr;
    UsageBarChartView* m_chart = nullptr;
    QVBoxLayout* m_tools = nullptr;
    QVBoxLayout* m_plan = nullptr;
};

} // namespace kelvo
