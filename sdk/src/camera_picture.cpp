#include "camera_picture.h"

#include "camera_palettes.h"

#include "svk.h"

#include <algorithm>
#include <cstring>

namespace calidra::sorvik {

PictureColours::PictureColours(int palette, int zeroCelsiusCode)
    : lowestCode_(kLowestTenths + zeroCelsiusCode) {
    // 18.0 to 40.0 degrees spread over the palette's 256 rows.
    const uint8_t* rows = cameraPaletteTable(palette);
    for (int tenths = 0; tenths <= kSpanTenths; ++tenths) {
        const uint8_t* colour = rows + tenths * 255 / kSpanTenths * 3;
        colours_[tenths] = uint32_t(colour[0]) | uint32_t(colour[1]) << 8 | uint32_t(colour[2]) << 16;
    }
}

void renderCameraPicture(const CodePlane& plane, std::size_t width, std::size_t height, int palette,
                         unsigned char* bgr) {
    const PictureColours colours(palette, plane.zeroCelsiusCode);
    for (std::size_t y = 0; y < height; ++y) {
        // The camera's picture comes bottom row first.
        const uint16_t* codes = plane.codes + (height - 1 - y) * width * plane.stepWords;
        unsigned char* row = bgr + y * width * 3;
        std::size_t x = 0;
        for (; x + 1 < width; ++x) {
            const uint32_t colour = colours.of(codes[x * plane.stepWords]);
            std::memcpy(row + x * 3, &colour, 4);
        }
        if (x < width) {
            const uint32_t colour = colours.of(codes[x * plane.stepWords]);
            std::memcpy(row + x * 3, &colour, 3);
        }
    }
}

void layoutFramePixels(const uint16_t* codes, std::size_t count, int format, std::vector<uint8_t>& pixels) {
    // Little-endian words, whatever the host's byte order; on a little-endian host a word is
    // stored whole, which the compiler turns into wide stores.
    constexpr bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    if (format == SVK_PIXEL_FORMAT_RGB_CODE32) {
        pixels.resize(count * 4);
        uint8_t* pixel = pixels.data();
        for (std::size_t i = 0; i < count; ++i, pixel += 4) {
            if constexpr (littleEndian) {
                const uint32_t word = uint32_t(codes[i]) << 16; // first word: not a temperature
                std::memcpy(pixel, &word, 4);
            } else {
                pixel[0] = pixel[1] = 0;
                pixel[2] = uint8_t(codes[i] & 0xFF);
                pixel[3] = uint8_t(codes[i] >> 8);
            }
        }
        return;
    }
    pixels.resize(count * 2);
    uint8_t* pixel = pixels.data();
    const bool direct = format == SVK_PIXEL_FORMAT_DIRECT16;
    for (std::size_t i = 0; i < count; ++i, pixel += 2) {
        const uint16_t code = direct ? uint16_t(codes[i] >= 1000 ? codes[i] - 1000 : 0) : codes[i];
        if constexpr (littleEndian) {
            std::memcpy(pixel, &code, 2);
        } else {
            pixel[0] = uint8_t(code & 0xFF);
            pixel[1] = uint8_t(code >> 8);
        }
    }
}

} // namespace calidra::sorvik
