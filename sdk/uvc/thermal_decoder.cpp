#include "thermal_decoder.h"

#include "svk.h"

#include <algorithm>

namespace calidra::uvc {

namespace {

// Rounds half up and clamps to the code range; branch-free so the row loops vectorise.
inline uint16_t toCode(double tenths) {
    double value = tenths + 0.5;
    value = value < 0.0 ? 0.0 : value;
    value = value > 65535.0 ? 65535.0 : value;
    return uint16_t(value);
}

struct RowScale {
    double tenthsPerCount;
    double offsetBase;
    double directBase;
};

template <int Format>
uint16_t decodeRow(const uint8_t* source, std::size_t width, const RowScale& scale, uint16_t* codes,
                   uint8_t* out) {
    uint16_t highest = 0;
    for (std::size_t x = 0; x < width; ++x) {
        const uint16_t value = uint16_t(source[2 * x] | (source[2 * x + 1] << 8));
        highest = value > highest ? value : highest;
        const double tenths = value * scale.tenthsPerCount;
        const uint16_t code = toCode(tenths + scale.offsetBase);
        codes[x] = code;
        if constexpr (Format == SVK_PIXEL_FORMAT_DIRECT16) {
            const uint16_t direct = toCode(tenths + scale.directBase);
            out[2 * x] = uint8_t(direct);
            out[2 * x + 1] = uint8_t(direct >> 8);
        } else if constexpr (Format == SVK_PIXEL_FORMAT_RGB_CODE32) {
            // First word: not a temperature, left zero as the simulated camera does.
            out[4 * x] = 0;
            out[4 * x + 1] = 0;
            out[4 * x + 2] = uint8_t(code);
            out[4 * x + 3] = uint8_t(code >> 8);
        } else {
            out[2 * x] = uint8_t(code);
            out[2 * x + 1] = uint8_t(code >> 8);
        }
    }
    return highest;
}

} // namespace

std::size_t bytesPerPixel(int pixelFormat) {
    switch (pixelFormat) {
    case SVK_PIXEL_FORMAT_OFFSET16:
    case SVK_PIXEL_FORMAT_DIRECT16:
        return 2;
    case SVK_PIXEL_FORMAT_RGB_CODE32:
        return 4;
    default:
        return 0;
    }
}

uint16_t decodeCounts(const CountsImage& counts, const CountsScale& scale, int pixelFormat, uint8_t* frame,
                      uint16_t* offsetCodes) {
    // Tenths of a degree: counts x (10 / countsPerKelvin) + base.
    RowScale row;
    row.tenthsPerCount = 10.0 / scale.countsPerKelvin;
    row.directBase = (scale.offsetCelsius - 273.15) * 10.0;
    row.offsetBase = row.directBase + 1000.0;
    if (bytesPerPixel(pixelFormat) == 0) {
        pixelFormat = SVK_PIXEL_FORMAT_OFFSET16;
    }
    const std::size_t width = counts.width;
    const std::size_t frameBytesPerRow = width * bytesPerPixel(pixelFormat);
    uint16_t highest = 0;
    for (uint32_t y = 0; y < counts.height; ++y) {
        const uint8_t* source = counts.data + std::size_t(y) * counts.bytesPerLine;
        uint16_t* codes = offsetCodes + y * width;
        uint8_t* out = frame + y * frameBytesPerRow;
        switch (pixelFormat) {
        case SVK_PIXEL_FORMAT_DIRECT16:
            highest = std::max(highest, decodeRow<SVK_PIXEL_FORMAT_DIRECT16>(source, width, row, codes, out));
            break;
        case SVK_PIXEL_FORMAT_RGB_CODE32:
            highest =
                std::max(highest, decodeRow<SVK_PIXEL_FORMAT_RGB_CODE32>(source, width, row, codes, out));
            break;
        default:
            highest = std::max(highest, decodeRow<SVK_PIXEL_FORMAT_OFFSET16>(source, width, row, codes, out));
            break;
        }
    }
    return highest;
}

} // namespace calidra::uvc
