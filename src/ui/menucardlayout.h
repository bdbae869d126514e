#pragma once

#include "theme.h"
#include "traymenumodel.h"

#include <QFont>
#include <QList>
#include <QRectF>
#include <QSize>

namespace kelvo {

// Where every element of the menu's card goes: the figures, the separator and the suggestion,
// which is cut to three lines.
struct MenuCardLayout {
    struct Text {
        QRectF rect;
        QString text;
        QFont font;
        ThemeRole colour = ThemeRole::label;
    };
    struct Symbol {
        QRectF rect;
        QString name;
    };

    static constexpr int width = 320;
    static constexpr int maxSuggestionLines = 3;

    QSize size;
    QList<Text> texts;
    QList<Symbol> symbols;
    QRectF separator;
    // The suggestion as laid out, one entry a line; the last ends in "…" when the text was cut.
    QStringList suggestionLines;

    static MenuCardLayout build(const QList<MenuInfoRow>& rows, const QString& suggestion);
};

} // namespace kelvo
