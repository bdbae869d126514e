#include "wrappinglabel.h"

#include "ui/typography.h"

#include <QFontMetricsF>
#include <QPainter>

namespace kelvo {

WrappingLabel::WrappingLabel(const QString& text, const QFont& font, ThemeRole colour, int maxLines,
                             Qt::Alignment alignment, QWidget* parent)
    : ThemedView(parent)
    , m_text(text)
    , m_colour(colour)
    , m_maxLines(maxLines)
    , m_alignment(alignment)
{
    setFont(font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void WrappingLabel::setColour(ThemeRole colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

QStringList WrappingLabel::lines() const
{
    return wrapLines(m_text, font(), width(), m_maxLines);
}

int WrappingLabel::heightForWidth(int width) const
{
    const qsizetype count = wrapLines(m_text, font(), width, m_maxLines).size();
    return qCeil(QFontMetricsF(font()).lineSpacing() * qMax(count, qsizetype(1)));
}

QSize WrappingLabel::sizeHint() const
{
    const int width = qCeil(QFontMetricsF(font()).horizontalAdvance(m_text)) + 1;
    return {qMin(width, 320), heightForWidth(qMin(width, 320))};
}

QSize WrappingLabel::minimumSizeHint() const
{
    return {0, heightForWidth(100)};
}

void WrappingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(themeColor(m_colour));
    const qreal step = QFontMetricsF(font()).lineSpacing();
    qreal y = 0;
    for (const QString& line : lines()) {
        painter.drawText(QRectF(0, y, width(), step),
                         int(m_alignment | Qt::AlignVCenter | Qt::TextSingleLine), line);
        y += step;
    }
}

} // namespace kelvo
