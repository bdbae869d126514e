#include "cardviews.h"

#include <QPainter>
#include <QPainterPath>

namespace kelvo {

SectionCardView::SectionCardView(QWidget* parent)
    : ThemedView(parent)
{
    applyTheme();
}

void SectionCardView::paintEvent(QPaintEvent*)
{
    paintCard(*this, fillColor(), borderColor(), 16);
}

void paintCard(QWidget& widget, const QColor& fill, const QColor& border, qreal radius)
{
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // Half a pixel in, so the 1-pixel border is drawn whole and sharp.
    path.addRoundedRect(QRectF(widget.rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(path, fill);
    painter.setPen(QPen(border, 1));
    painter.drawPath(path);
}

} // namespace kelvo
