#include "summarycards.h"

#include "cardviews.h"
#include "symbolview.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>

namespace kelvo {

namespace {

struct Sizes {
    int height;
    int inset;
    int titleLines;
    int valueSize;
    int detailSize;
    qreal radius;
};

Sizes sizesOf(SummaryCardView::Kind kind)
{
    return kind == SummaryCardView::Kind::metric ? Sizes{116, 16, 1, 24, 12, 16}
                                                 : Sizes{112, 14, 2, 17, 11, 14};
}

} // namespace

SummaryCardView::SummaryCardView(Kind kind, const SummaryCard& card, QWidget* parent)
    : ThemedView(parent)
    , m_kind(kind)
{
    const Sizes sizes = sizesOf(kind);
    setFixedHeight(sizes.height);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    auto* icon = new SymbolView(card.symbolName, 14, ThemeRole::healthGreen);
    m_title = new WrappingLabel(card.title, systemFont(12, QFont::Medium), ThemeRole::secondaryText,
                                sizes.titleLines);
    // The pattern card's title may take two lines; its symbol stays beside the first.
    const Qt::Alignment alignment = kind == Kind::metric ? Qt::AlignVCenter : Qt::AlignTop;
    header->addWidget(icon, 0, alignment);
    header->addWidget(m_title, 1, alignment);

    m_value = new WrappingLabel(card.value, systemFont(sizes.valueSize, QFont::Bold),
                                ThemeRole::healthGreen, 1);
    m_detail =
        new WrappingLabel(card.detail, systemFont(sizes.detailSize), ThemeRole::secondaryText, 2);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(sizes.inset, sizes.inset, sizes.inset, sizes.inset);
    stack->setSpacing(6);
    stack->addLayout(header);
    stack->addWidget(m_value);
    stack->addWidget(m_detail);
    stack->addStretch(1);
    applyTheme();
}

void SummaryCardView::setCard(const SummaryCard& card)
{
    m_title->setText(card.title);
    m_value->setText(card.value);
    m_detail->setText(card.detail);
}

QString SummaryCardView::value() const
{
    return m_value->text();
}

QString SummaryCardView::detail() const
{
    return m_detail->text();
}

void SummaryCardView::paintEvent(QPaintEvent*)
{
    const bool metric = m_kind == Kind::metric;
    paintCard(*this, themeColor(metric ? ThemeRole::cardBackground : ThemeRole::elevatedBackground),
              themeColor(ThemeRole::borderColor), sizesOf(m_kind).radius);
}

} // namespace kelvo
