#include "camera_picture.h"

#include "camera_palettes.h"

#include <algorithm>

namespace calidra::simulator {

void renderCameraPicture(const CodePlane& plane, std::size_t width, std::size_t height, int palette,
                         unsigned char* bgr) {
    const int base = 1000 - plane.zeroCelsiusCode;
    for (std::size_t y = 0; y < height; ++y) {
        // The camera's picture comes bottom row first.
        const uint16_t* codes = plane.codes + (height - 1 - y) * width * plane.stepWords;
        unsigned char* row = bgr + y * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            const int tenths = int(codes[x * plane.stepWords]) + base - 1000 - 180;
            const int index = std::clamp(tenths * 255 / 220, 0, 255);
            cameraPaletteColour(palette, index, row + x * 3);
        }
    }
}

} // namespace calidra::simulator
