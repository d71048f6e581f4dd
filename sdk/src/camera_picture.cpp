#include "camera_picture.h"

#include "camera_palettes.h"

#include "svk.h"

#include <algorithm>
#include <cstring>

namespace calidra::simulator {

namespace {

// 18.0 to 40.0 degrees spread over the palette's 256 rows; codes outside take the end colours.
constexpr int lowestTenths = 180;
constexpr int spanTenths = 220;

// Every colour as four bytes, so that a pixel is one store: the fourth byte is overwritten by the
// next pixel, and only a row's last pixel is stored as three.
struct CodeColours {
    CodeColours(int palette, int zeroCelsiusCode) : lowestCode(lowestTenths + zeroCelsiusCode) {
        const uint8_t* rows = cameraPaletteTable(palette);
        for (int tenths = 0; tenths <= spanTenths; ++tenths) {
            const uint8_t* colour = rows + tenths * 255 / spanTenths * 3;
            colours[tenths] = uint32_t(colour[0]) | uint32_t(colour[1]) << 8 | uint32_t(colour[2]) << 16;
        }
    }
    uint32_t of(uint16_t code) const { return colours[std::clamp(int(code) - lowestCode, 0, spanTenths)]; }

    int lowestCode;
    uint32_t colours[spanTenths + 1];
};

// count pixels of one colour from pixel; room for a fourth byte after all but the last.
void paintRun(unsigned char* pixel, std::size_t count, uint32_t colour) {
    for (std::size_t x = 0; x + 1 < count; ++x, pixel += 3)
        std::memcpy(pixel, &colour, 4);
    if (count > 0)
        std::memcpy(pixel, &colour, 3);
}

} // namespace

void renderCameraPicture(const CodePlane& plane, std::size_t width, std::size_t height, int palette,
                         unsigned char* bgr) {
    const CodeColours colours(palette, plane.zeroCelsiusCode);
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

void ScenePictureRenderer::render(const SceneFrameLayout& layout, std::size_t width, std::size_t height,
                                  int palette, unsigned char* bgr) {
    const std::size_t size = width * height;
    if (!layout.background || layout.background->size() != size || size == 0)
        return;
    const CodeColours colours(palette, 1000);
    if (layout.background != background_ || palette != palette_) {
        background_ = layout.background;
        palette_ = palette;
        backgroundPicture_.resize(size * 3 + 1); // the last pixel's fourth byte
        for (std::size_t i = 0; i < size; ++i) {
            const uint32_t colour = colours.of((*background_)[i]);
            std::memcpy(&backgroundPicture_[i * 3], &colour, 4);
        }
    }
    for (std::size_t y = 0; y < height; ++y) {
        // The camera's picture comes bottom row first.
        const std::size_t start = ((height - 1 - y) * width + layout.turn) % size;
        const std::size_t first = std::min(width, size - start);
        unsigned char* row = bgr + y * width * 3;
        std::memcpy(row, &backgroundPicture_[start * 3], first * 3);
        std::memcpy(row + first * 3, &backgroundPicture_[0], (width - first) * 3);
    }
    for (const SceneFill& fill : layout.fills) {
        const uint32_t colour = colours.of(fill.code);
        for (int frameRow = fill.top; frameRow < fill.bottom; ++frameRow) {
            unsigned char* row = bgr + (height - 1 - std::size_t(frameRow)) * width * 3;
            paintRun(row + std::size_t(fill.left) * 3, std::size_t(fill.right - fill.left), colour);
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

} // namespace calidra::simulator
