#pragma once

#include "themedview.h"

namespace kelvo {

// A named symbol, `points` high, in a theme colour.
class SymbolView final : public ThemedView {
    Q_OBJECT

public:
    SymbolView(const QString& symbolName, int points, ThemeRole colour, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {m_points, m_points}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbolName;
    int m_points;
    ThemeRole m_colour;
};

} // namespace kelvo
