#include "pipeline/palette_rendering.h"

#include <algorithm>

namespace calidra {

bool renderOwnPalette(const FrameRecord& frame, PixelFormat format, const PaletteTable& palette,
                      cv::Mat& renderImage) {
    if (format == PixelFormat::RgbCode32 || renderImage.type() != CV_8UC3 || !renderImage.isContinuous())
        return false;
    if (frame.width != static_cast<uint32_t>(renderImage.cols) ||
        frame.height != static_cast<uint32_t>(renderImage.rows))
        return false;
    const std::size_t pixelCount = renderImage.total();
    if (frame.data == nullptr && pixelCount > 0)
        return false;

    const auto* pixel = static_cast<const unsigned char*>(frame.data);
    unsigned char* out = renderImage.data;
    for (std::size_t index = 0; index < pixelCount; ++index, pixel += 2, out += 3) {
        const PaletteRow& row =
            palette[static_cast<std::size_t>(paletteIndex(pixelCode(pixel, format), format))];
        out[0] = static_cast<unsigned char>(row.blue);
        out[1] = static_cast<unsigned char>(row.green);
        out[2] = static_cast<unsigned char>(row.red);
    }
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
