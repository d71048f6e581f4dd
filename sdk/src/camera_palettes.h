#pragma once
// The camera's own false-colour palettes, selected through "ImageColorPalette".

#include <cstdint>

namespace calidra::sorvik {

constexpr int kCameraPaletteCount = 16;
extern const char* const kCameraPaletteNames[kCameraPaletteCount];

// Index of the palette of that name, -1 when there is none.
int cameraPaletteIndex(const char* name);

// Colour of palette row index (0..255) as blue, green, red, interpolated between the key colours.
void cameraPaletteColour(int palette, int index, uint8_t bgr[3]);

// The same 256 colours of a palette, worked out once: 256 x (blue, green, red).
const uint8_t* cameraPaletteTable(int palette);

} // namespace calidra::sorvik
