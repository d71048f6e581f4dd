#include "pipeline/palette_rendering.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace calidra {

bool renderOwnPalette(const CameraFrame& frame, const PaletteTable& palette, cv::Mat& renderImage) {
    if (!frame.format || *frame.format == PixelFormat::RgbCode32 || renderImage.type() != CV_8UC3 ||
        !renderImage.isContinuous())
        return false;
    const PixelFormat format = *frame.format;
    if (frame.width != static_cast<uint32_t>(renderImage.cols) ||
        frame.height != static_cast<uint32_t>(renderImage.rows))
        return false;
    const std::size_t pixelCount = renderImage.total();
    if (frame.pixels == nullptr && pixelCount > 0)
        return false;

    // The index depends only on the clamped code, so each of its 221 values is looked up once.
    constexpr int codeCount = paletteHighestCode - paletteLowestCode + 1;
    std::array<uint32_t, codeCount> colours;
    for (int value = paletteLowestCode; value <= paletteHighestCode; ++value) {
        const uint16_t code = static_cast<uint16_t>(format == PixelFormat::Offset16 ? value + 1000 : value);
        const PaletteRow& row = palette[static_cast<std::size_t>(paletteIndex(code, format))];
        colours[std::size_t(value - paletteLowestCode)] =
            uint32_t(row.blue & 0xFF) | uint32_t(row.green & 0xFF) << 8 | uint32_t(row.red & 0xFF) << 16;
    }
    const unsigned char* pixel = frame.pixels;
    unsigned char* out = renderImage.data;
    const auto colourOf = [&](std::size_t index) {
        uint16_t code;
        std::memcpy(&code, pixel + 2 * index, sizeof code);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        code = static_cast<uint16_t>((code >> 8) | (code << 8));
#endif
        const uint16_t shifted = format == PixelFormat::Offset16 ? static_cast<uint16_t>(code - 1000u) : code;
        const int value =
            std::clamp<int>(static_cast<int16_t>(shifted), paletteLowestCode, paletteHighestCode);
        const uint32_t colour = colours[std::size_t(value - paletteLowestCode)];
        return std::array<unsigned char, 4>{static_cast<unsigned char>(colour),
                                            static_cast<unsigned char>(colour >> 8),
                                            static_cast<unsigned char>(colour >> 16), 0};
    };
    // Four bytes per store; the fourth is overwritten by the next pixel, so the last pixel stores three.
    for (std::size_t index = 0; index + 1 < pixelCount; ++index)
        std::memcpy(out + 3 * index, colourOf(index).data(), 4);
    if (pixelCount > 0)
        std::memcpy(out + 3 * (pixelCount - 1), colourOf(pixelCount - 1).data(), 3);
    return true;
}

void flipCameraPicture(cv::Mat& renderImage) {
    const std::size_t rowBytes = renderImage.cols * renderImage.elemSize();
    for (int top = 0, bottom = renderImage.rows - 1; top < bottom; ++top, --bottom) {
        unsigned char* upper = renderImage.ptr(top);
        std::swap_ranges(upper, upper + rowBytes, renderImage.ptr(bottom));
    }
}

} // namespace calidra
