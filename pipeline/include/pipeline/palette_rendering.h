#pragma once
// Turning a frame into its false-colour picture in the render image.

#include "pipeline/palettes.h"
#include "pipeline/temperature_scale.h"

#include <opencv2/core.hpp>

#include <cstdint>

namespace calidra {

// Codes 180..400 (18.0 to 40.0 degrees) spread over rows 0..255. The factor is the exact
// single-precision value 0x3F945D17 so pictures match across builds and machines.
constexpr float paletteIndexFactor = 0x1.28BA2Ep+0f;
constexpr int paletteLowestCode = 180;
constexpr int paletteHighestCode = 400;

// Only for the own-palette formats Offset16 and Direct16.
inline int paletteIndex(uint16_t code, PixelFormat format) {
    const uint16_t shifted = format == PixelFormat::Offset16 ? static_cast<uint16_t>(code - 1000u) : code;
    int value = static_cast<int16_t>(shifted);
    if (value < paletteLowestCode)
        value = paletteLowestCode;
    else if (value > paletteHighestCode)
        value = paletteHighestCode;
    return static_cast<int>(static_cast<float>(value - paletteLowestCode) * paletteIndexFactor);
}

// Offset16 and Direct16 only; a frame of another size than the render image is not drawn.
// Returns whether the render image was written.
bool renderOwnPalette(const CameraFrame& frame, const PaletteTable& palette, cv::Mat& renderImage);

// The camera's own picture stands the other way up from an own-palette one; turned in place.
void flipCameraPicture(cv::Mat& renderImage);

} // namespace calidra
