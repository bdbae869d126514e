#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>

// The named symbols of the designs, drawn from the Material Design icon font and tinted with a
// theme colour at run time.
namespace kelvo::Symbols {

// Every symbol name the table knows.
QStringList names();
// The font's glyph for a symbol name; 0 for a name the table does not know.
char32_t glyph(const QString& symbolName);
// The symbol drawn `points` design points high in `colour`, sharp at `devicePixelRatio`; an
// empty (transparent) pixmap of that size when the symbol or the font is missing.
QPixmap pixmap(const QString& symbolName, int points, const QColor& colour, qreal devicePixelRatio);

} // namespace kelvo::Symbols
