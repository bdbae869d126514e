#pragma once

#include <QColor>
#include <QPalette>

namespace kelvo {

// The two appearances every colour is resolved against.
enum class Appearance { light, dark };

// Kelvo's colour roles; each has a light and a dark value.
enum class ThemeRole {
    healthGreen,
    healthGreenTint,
    cardBackground,
    elevatedBackground,
    borderColor,
    emptyStateIcon,
    label,
    secondaryText,
    chartNeutral,
    chartHealthy,
    chartWarning,
    chartRisk,
    chartAverage,
};

namespace Theme {

QColor color(ThemeRole role, Appearance appearance);
// The colour with its opacity set to `alpha` (0 to 1).
QColor withAlpha(QColor colour, double alpha);
QColor suggestionBackground(Appearance appearance);
QColor suggestionBorder(Appearance appearance);

// The palette that every window, menu and control is drawn with (Fusion style).
QPalette palette(Appearance appearance);
// The dark test on a resolved palette: a dark window colour means the dark appearance.
Appearance appearanceOf(const QPalette& palette);

} // namespace Theme

} // namespace kelvo
