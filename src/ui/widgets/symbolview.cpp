#include "symbolview.h"

#include "ui/symbols.h"

#include <QPainter>

namespace kelvo {

SymbolView::SymbolView(const QString& symbolName, int points, ThemeRole colour, QWidget* parent)
    : ThemedView(parent)
    , m_symbolName(symbolName)
    , m_points(points)
    , m_colour(colour)
{
    setFixedSize(points, points);
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(
        0, 0, Symbols::pixmap(m_symbolName, m_points, themeColor(m_colour), devicePixelRatioF()));
}

} // namespace kelvo
