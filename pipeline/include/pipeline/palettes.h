#pragma once
// The station's sixteen false-colour palettes, in the order of the operator's palette list.

#include <array>
#include <cstdint>

namespace calidra {

struct PaletteRow {
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
};

constexpr int paletteCount = 16;
constexpr int paletteIndexCount = 256;

// Every table is addressable over the whole index range: rows past a table's own length
// repeat its last row.
using PaletteTable = std::array<PaletteRow, paletteIndexCount>;

// A number outside 0..15 (no selection in the list) gives table 0.
const PaletteTable& paletteTable(int number);

// The table's own length (192, 224, 240 or 256 rows); 0 for a number outside 0..15.
int paletteRowCount(int number);

// The name shown in the operator's list and sent to the camera; empty outside 0..15.
const char* paletteName(int number);

} // namespace calidra
