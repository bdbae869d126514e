#include "menucardlayout.h"

#include "typography.h"

#include <QTextLayout>

namespace kelvo {

namespace {

constexpr qreal insetX = 14;
constexpr qreal insetY = 12;
constexpr qreal stackSpacing = 10;
constexpr qreal symbolSize = 12;

// The height of one line of `font`, measured on a Chinese sample so that the fallback font's
// taller glyphs are counted.
qreal lineHeight(const QFont& font)
{
    QTextLayout layout(QStringLiteral("今日Ag"), font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    return qCeil(line.height());
}

} // namespace

MenuCardLayout MenuCardLayout::build(const QList<MenuInfoRow>& rows, const QString& suggestion)
{
    MenuCardLayout card;
    const qreal contentWidth = width - 2 * insetX;
    const QFont caption = systemFont(11, QFont::Medium);
    const QFont value = systemFont(16, QFont::Bold);
    const QFont detail = systemFont(10);
    const QFont body = systemFont(12, QFont::Medium);
    const qreal captionHeight = lineHeight(caption);

    qreal y = insetY;
    // A caption line: the symbol, 6 apart from the caption, centred on each other.
    auto header = [&](const QString& symbol, const QString& title) {
        const qreal height = qMax(captionHeight, symbolSize);
        card.symbols.append(
            {QRectF(insetX, y + (height - symbolSize) / 2, symbolSize, symbolSize), symbol});
        const qreal textX = insetX + symbolSize + 6;
        card.texts.append({QRectF(textX, y + (height - captionHeight) / 2,
                                  contentWidth - (textX - insetX), captionHeight),
                           title, caption, ThemeRole::secondaryText});
        y += height;
    };
    auto line = [&](const QString& text, const QFont& font, ThemeRole colour) {
        const qreal height = lineHeight(font);
        card.texts.append({QRectF(insetX, y, contentWidth, height), text, font, colour});
        y += height;
    };

    for (const MenuInfoRow& row : rows) {
        header(row.symbolName, row.title);
        y += 2;
        line(row.value, value, ThemeRole::healthGreen);
        y += 2;
        line(row.detail, detail, ThemeRole::secondaryText);
        y += stackSpacing;
    }
    card.separator = QRectF(insetX, y, contentWidth, 1);
    y += 1 + stackSpacing;

    header(QStringLiteral("leaf.arrow.circlepath"), QStringLiteral("建议"));
    y += 8;
    card.suggestionLines = wrapLines(suggestion, body, contentWidth, maxSuggestionLines);
    for (const QString& text : std::as_const(card.suggestionLines))
        line(text, body, ThemeRole::label);
    y += insetY;

    const int initialHeight = 58 * qMax(rows.size(), qsizetype(1)) + 86;
    card.size = QSize(width, qMax(initialHeight, qCeil(y)));
    return card;
}

} // namespace kelvo
