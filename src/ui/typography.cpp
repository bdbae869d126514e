#include "typography.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QTextLayout>

namespace kelvo {

QFont systemFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamilies({font.family(), QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QStringList wrapLines(const QString& text, const QFont& font, qreal width, int maxLines)
{
    QStringList lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const qsizetype end = line.textStart() + line.textLength();
        if (maxLines > 0 && lines.size() + 1 == maxLines && end < text.size()) {
            lines.append(
                QFontMetricsF(font).elidedText(text.mid(line.textStart()), Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

} // namespace kelvo
