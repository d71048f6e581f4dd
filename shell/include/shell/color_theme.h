#pragma once
// The station's three colour themes, applied application-wide on the Fusion style.

#include <QPalette>
#include <QString>

#include <optional>

namespace calidra {

// The numbers the themes have always carried in stored layouts and documentation.
enum class VisualTheme : int { Light = 25, Dark = 28, Blue = 24 };

constexpr int themeCount = 3;

// Index = position in the theme chooser = value stored as "ColorTheme"; none outside 0..2.
std::optional<VisualTheme> themeForIndex(int index);
QString themeName(int index);

QPalette paletteFor(VisualTheme theme);
// Switches every window of the program to the theme.
void applyVisualTheme(VisualTheme theme);
// The theme last applied by applyVisualTheme.
std::optional<VisualTheme> currentVisualTheme();

} // namespace calidra
