#include "theme.h"

namespace kelvo::Theme {

namespace {

QColor grey(double value)
{
    return QColor::fromRgbF(float(value), float(value), float(value));
}

QColor rgb(double red, double green, double blue)
{
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

struct Pair {
    QColor light;
    QColor dark;
};

// The desktop-platform colours the designs were drawn with.
const Pair systemBlue{QColor(0x00, 0x7A, 0xFF), QColor(0x0A, 0x84, 0xFF)};
const Pair systemOrange{QColor(0xFF, 0x95, 0x00), QColor(0xFF, 0x9F, 0x0A)};
const Pair systemRed{QColor(0xFF, 0x3B, 0x30), QColor(0xFF, 0x45, 0x3A)};
const Pair systemTeal{QColor(0x30, 0xB0, 0xC7), QColor(0x40, 0xC8, 0xE0)};

Pair pairOf(ThemeRole role)
{
    switch (role) {
    case ThemeRole::healthGreen:
    case ThemeRole::chartHealthy:
        return {rgb(0.18, 0.62, 0.31), rgb(0.38, 0.83, 0.52)};
    case ThemeRole::healthGreenTint:
        return {rgb(0.91, 0.97, 0.92), rgb(0.17, 0.28, 0.20)};
    case ThemeRole::cardBackground:
        return {grey(0.98), grey(0.16)};
    case ThemeRole::elevatedBackground:
        return {rgb(0.95, 0.98, 0.95), grey(0.20)};
    case ThemeRole::borderColor:
        return {grey(0.86), grey(0.28)};
    case ThemeRole::emptyStateIcon:
        return {grey(0.52), grey(0.65)};
    case ThemeRole::label:
        return {Qt::black, Qt::white};
    case ThemeRole::secondaryText:
        return {withAlpha(Qt::black, 0.50), withAlpha(Qt::white, 0.55)};
    case ThemeRole::chartNeutral:
        return {withAlpha(systemBlue.light, 0.35), withAlpha(systemBlue.dark, 0.35)};
    case ThemeRole::chartWarning:
        return systemOrange;
    case ThemeRole::chartRisk:
        return systemRed;
    case ThemeRole::chartAverage:
        return systemTeal;
    }
    return {Qt::black, Qt::white};
}

QColor pick(const Pair& pair, Appearance appearance)
{
    return appearance == Appearance::dark ? pair.dark : pair.light;
}

} // namespace

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

QColor color(ThemeRole role, Appearance appearance)
{
    return pick(pairOf(role), appearance);
}

QColor suggestionBackground(Appearance appearance)
{
    return pick({rgb(0.92, 0.98, 0.93), rgb(0.12, 0.22, 0.15)}, appearance);
}

QColor suggestionBorder(Appearance appearance)
{
    return pick({rgb(0.38, 0.74, 0.45), rgb(0.34, 0.66, 0.42)}, appearance);
}

QPalette palette(Appearance appearance)
{
    const bool dark = appearance == Appearance::dark;
    const QColor text = color(ThemeRole::label, appearance);
    const QColor secondary = color(ThemeRole::secondaryText, appearance);
    const QColor window = dark ? grey(0.15) : grey(0.95);
    const QColor base = dark ? grey(0.11) : grey(1.0);
    const QColor button = dark ? grey(0.23) : grey(0.99);
    const QColor accent = pick(systemBlue, appearance);

    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, dark ? grey(0.15) : grey(0.96));
    palette.setColor(QPalette::ToolTipBase, dark ? grey(0.20) : grey(0.99));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, secondary);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, pick(systemRed, appearance));
    palette.setColor(QPalette::Light, dark ? grey(0.32) : grey(1.0));
    palette.setColor(QPalette::Midlight, dark ? grey(0.27) : grey(0.93));
    palette.setColor(QPalette::Mid, dark ? grey(0.20) : grey(0.80));
    palette.setColor(QPalette::Dark, dark ? grey(0.08) : grey(0.62));
    palette.setColor(QPalette::Shadow, grey(0.0));
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::LinkVisited, accent.darker(120));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, secondary);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, dark ? grey(0.30) : grey(0.80));
    return palette;
}

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? Appearance::dark : Appearance::light;
}

} // namespace kelvo::Theme
