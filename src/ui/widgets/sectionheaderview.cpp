#include "sectionheaderview.h"

#include "symbolview.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>

namespace kelvo {

SectionHeaderView::SectionHeaderView(const QString& symbolName, const QString& title,
                                     const QString& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new SymbolView(symbolName, 16, ThemeRole::healthGreen), 0, Qt::AlignVCenter);
    row->addWidget(new WrappingLabel(title, systemFont(16, QFont::Bold), ThemeRole::label, 1), 1,
                   Qt::AlignVCenter);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);
    stack->addLayout(row);
    stack->addWidget(new WrappingLabel(subtitle, systemFont(12), ThemeRole::secondaryText, 0));
}

EmptyStateView::EmptyStateView(const QString& symbolName, const QString& title,
                               const QString& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 18, 12, 18);
    stack->setSpacing(8);
    stack->addWidget(new SymbolView(symbolName, 24, ThemeRole::emptyStateIcon), 0,
                     Qt::AlignHCenter);
    stack->addWidget(new WrappingLabel(title, systemFont(13, QFont::Medium), ThemeRole::label, 1,
                                       Qt::AlignHCenter));
    stack->addWidget(
        new WrappingLabel(subtitle, systemFont(12), ThemeRole::secondaryText, 2, Qt::AlignHCenter));
}

} // namespace kelvo
