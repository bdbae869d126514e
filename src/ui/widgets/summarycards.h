#pragma once

#include "themedview.h"
#include "ui/summarypresentation.h"

namespace kelvo {

class WrappingLabel;

// A card of the summary window: a symbol and a title over a value and a detail. The headline
// metrics and the smaller pattern cards differ only in sizes and colours.
class SummaryCardView final : public ThemedView {
    Q_OBJECT

public:
    enum class Kind { metric, pattern };

    SummaryCardView(Kind kind, const SummaryCard& card, QWidget* parent = nullptr);

    void setCard(const SummaryCard& card);
    QString value() const;
    QString detail() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    WrappingLabel* m_title = nullptr;
    WrappingLabel* m_value = nullptr;
    WrappingLabel* m_detail = nullptr;
};

} // namespace kelvo
