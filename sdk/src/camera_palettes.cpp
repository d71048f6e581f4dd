#include "camera_palettes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace calidra::sorvik {

const char* const kCameraPaletteNames[kCameraPaletteCount] = {
    "BlueRed", "FireMetal", "Gray",    "Iron", "Rainbow",  "DryWet",   "Seis",   "Ocean",
    "Jet",     "Polar",     "MidGray", "Fire", "Rainbow2", "Rainbow3", "Yellow", "BlueRed2"};

namespace {

struct Rgb {
    int red, green, blue;
};

// Four key colours per palette, spread evenly over the rows.
const Rgb kKeys[kCameraPaletteCount][4] = {
    {{1, 3, 74}, {0, 113, 223}, {212, 215, 3}, {255, 233, 208}},       // BlueRed
    {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}},       // FireMetal
    {{255, 255, 255}, {126, 126, 126}, {116, 1, 136}, {255, 255, 24}}, // Gray
    {{235, 235, 235}, {172, 172, 172}, {78, 78, 78}, {16, 16, 16}},    // Iron
    {{15, 16, 146}, {49, 208, 236}, {206, 101, 31}, {235, 230, 194}},  // Rainbow
    {{19, 64, 206}, {78, 220, 170}, {232, 144, 32}, {126, 28, 15}},    // DryWet
    {{15, 15, 239}, {79, 79, 79}, {173, 173, 173}, {235, 235, 235}},   // Seis
    {{16, 16, 16}, {15, 89, 174}, {151, 174, 9}, {232, 228, 228}},     // Ocean
    {{18, 15, 18}, {73, 92, 222}, {185, 95, 29}, {235, 232, 235}},     // Jet
    {{218, 186, 175}, {74, 137, 130}, {191, 63, 63}, {227, 15, 18}},   // Polar
    {{16, 16, 16}, {200, 44, 41}, {236, 127, 12}, {235, 235, 235}},    // MidGray
    {{16, 16, 16}, {110, 110, 110}, {205, 205, 205}, {190, 14, 13}},   // Fire
    {{16, 16, 16}, {14, 125, 143}, {237, 62, 45}, {235, 235, 235}},    // Rainbow2
    {{36, 36, 198}, {25, 172, 193}, {237, 65, 197}, {236, 196, 37}},   // Rainbow3
    {{17, 14, 17}, {61, 188, 61}, {37, 210, 238}, {235, 233, 14}},     // Yellow
    {{16, 16, 16}, {47, 47, 47}, {142, 142, 142}, {200, 20, 20}},      // BlueRed2
};

int interpolate(int from, int to, int step, int steps) {
    return from + (to - from) * step / steps;
}

} // namespace

int cameraPaletteIndex(const char* name) {
    for (int i = 0; name != nullptr && i < kCameraPaletteCount; ++i) {
        if (std::strcmp(name, kCameraPaletteNames[i]) == 0) {
            return i;
        }
    }
    return -1;
}

void cameraPaletteColour(int palette, int index, uint8_t bgr[3]) {
    palette = std::clamp(palette, 0, kCameraPaletteCount - 1);
    index = std::clamp(index, 0, 255);
    const int segment = std::min(index / 85, 2);
    const int step = index - segment * 85;
    const Rgb& from = kKeys[palette][segment];
    const Rgb& to = kKeys[palette][segment + 1];
    const int steps = 85;
    bgr[0] = uint8_t(interpolate(from.blue, to.blue, step, steps));
    bgr[1] = uint8_t(interpolate(from.green, to.green, step, steps));
    bgr[2] = uint8_t(interpolate(from.red, to.red, step, steps));
}

const uint8_t* cameraPaletteTable(int palette) {
    static const auto tables = [] {
        std::array<std::array<uint8_t, 256 * 3>, kCameraPaletteCount> all{};
        for (int table = 0; table < kCameraPaletteCount; ++table)
            for (int index = 0; index < 256; ++index)
                cameraPaletteColour(table, index, &all[std::size_t(table)][std::size_t(index) * 3]);
        return all;
    }();
    return tables[std::size_t(std::clamp(palette, 0, kCameraPaletteCount - 1))].data();
}

} // namespace calidra::sorvik
