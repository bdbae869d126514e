#pragma once

#include "themedview.h"

namespace kelvo {

// A rounded card with a border, in the card colours of the theme; a container for a section
// of a window.
class SectionCardView : public ThemedView {
    Q_OBJECT

public:
    explicit SectionCardView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    virtual QColor fillColor() const { return themeColor(ThemeRole::cardBackground); }
    virtual QColor borderColor() const { return themeColor(ThemeRole::borderColor); }
};

// The card that stands out: the suggestion colours of the theme.
class HighlightCardView final : public SectionCardView {
    Q_OBJECT

public:
    using SectionCardView::SectionCardView;

protected:
    QColor fillColor() const override { return Theme::suggestionBackground(appearance()); }
    QColor borderColor() const override { return Theme::suggestionBorder(appearance()); }
};

// Paints the whole widget as a card: `fill` inside a 1-pixel `border`, corners rounded.
void paintCard(QWidget& widget, const QColor& fill, const QColor& border, qreal radius);

} // namespace kelvo
