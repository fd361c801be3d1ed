#pragma once

#include <QPalette>

namespace kelo {

// Kelo's two appearances, for the Fusion style. The light one is Fusion's own palette; the dark
// one is a quiet dark grey with light text and a calm blue for selections.
QPalette lightPalette();
QPalette darkPalette();

// Switches every widget of the application to the Fusion style and the given palette.
void applyAppearance(const QPalette &palette);

} // namespace kelo
