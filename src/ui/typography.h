#pragma once

#include <QFont>
#include <QStringList>

namespace kelvo {

// The desktop's general font at a design size in pixels, with Noto Sans CJK behind it so that
// Chinese text always has glyphs of one family.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// Breaks `text` into lines at most `width` wide, keeping at most `maxLines` (0 for no limit);
// the last kept line ends in an ellipsis when text remains.
QStringList wrapLines(const QString& text, const QFont& font, qreal width, int maxLines);

} // namespace kelvo
