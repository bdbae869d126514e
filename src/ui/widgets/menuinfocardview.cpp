#include "menuinfocardview.h"

#include "cardviews.h"
#include "ui/symbols.h"

#include <QPainter>

namespace kelvo {

MenuInfoCardView::MenuInfoCardView(const QList<MenuInfoRow>& rows, const QString& suggestion,
                                   QWidget* parent)
    : ThemedView(parent)
{
    setContent(rows, suggestion);
    applyTheme();
}

void MenuInfoCardView::setContent(const QList<MenuInfoRow>& rows, const QString& suggestion)
{
    if (!m_layout.size.isEmpty() && rows == m_rows && suggestion == m_suggestion)
        return;
    m_rows = rows;
    m_suggestion = suggestion;
    m_layout = MenuCardLayout::build(rows, suggestion);
    setFixedSize(m_layout.size);
    update();
}

void MenuInfoCardView::paintEvent(QPaintEvent*)
{
    paintCard(*this, themeColor(ThemeRole::cardBackground), themeColor(ThemeRole::borderColor), 12);
    QPainter painter(this);
    painter.fillRect(m_layout.separator, themeColor(ThemeRole::borderColor));
    const QColor green = themeColor(ThemeRole::healthGreen);
    for (const auto& symbol : m_layout.symbols)
        painter.drawPixmap(
            symbol.rect.topLeft(),
            Symbols::pixmap(symbol.name, int(symbol.rect.height()), green, devicePixelRatioF()));
    for (const auto& text : m_layout.texts) {
        painter.setFont(text.font);
        painter.setPen(themeColor(text.colour));
        painter.drawText(text.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         text.text);
    }
}

} // namespace kelvo
