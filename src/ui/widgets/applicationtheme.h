#pragma once

#include "ui/theme.h"

namespace kelvo {

// An action whose label ends with the text of this property draws that text in the secondary
// colour (the times after "免打扰").
inline constexpr char menuDetailProperty[] = "kelvoDetail";

// Draws the whole application in `appearance`: the Fusion style with the theme's palette, so
// every window and menu looks the same on every desktop and recolours at once.
void applyApplicationTheme(Appearance appearance);

} // namespace kelvo
