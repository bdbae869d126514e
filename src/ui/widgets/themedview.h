#pragma once

#include "ui/theme.h"

#include <QWidget>

namespace kelvo {

// A view whose colours come from the theme: applyTheme() runs again whenever the palette it
// inherits switches between light and dark, so an open window recolours at once.
class ThemedView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // The appearance this view is drawn in, from the palette it inherits.
    Appearance appearance() const { return Theme::appearanceOf(palette()); }
    QColor themeColor(ThemeRole role) const { return Theme::color(role, appearance()); }

protected:
    // Recomputes every colour that depends on the appearance; the base only repaints.
    virtual void applyTheme();
    void changeEvent(QEvent* event) override;
};

} // namespace kelvo
