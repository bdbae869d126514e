#pragma once

#include "themedview.h"

namespace kelvo {

// A text in a theme colour that wraps to the width it is given, cut to at most `maxLines`
// lines with an ellipsis (0 for no limit).
class WrappingLabel final : public ThemedView {
    Q_OBJECT

public:
    WrappingLabel(const QString& text, const QFont& font, ThemeRole colour, int maxLines,
                  Qt::Alignment alignment = Qt::AlignLeft, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setColour(ThemeRole colour);
    QString text() const { return m_text; }
    // The lines as drawn at the current width.
    QStringList lines() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    ThemeRole m_colour;
    int m_maxLines;
    Qt::Alignment m_alignment;
};

} // namespace kelvo
