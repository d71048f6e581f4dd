#pragma once
// Camera counts to the temperature codes of the camera library contract, in
// one pass and into buffers the caller keeps.

#include <cstddef>
#include <cstdint>

namespace calidra::uvc {

// Little-endian 16-bit counts, rows bytesPerLine apart.
struct CountsImage {
    const uint8_t* data = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerLine = 0;
};

// T = counts / countsPerKelvin - 273.15 + offsetCelsius.
struct CountsScale {
    double countsPerKelvin = 1.0;
    double offsetCelsius = 0.0;
};

// Bytes per pixel of a contract pixel format (103, 104: 2; 110: 4); 0 when unknown.
std::size_t bytesPerPixel(int pixelFormat);

// Writes the frame in pixelFormat to frame (width x height x bytesPerPixel,
// no padding) and the offset-scale codes (code = 10 x C + 1000) to
// offsetCodes (width x height), every code rounded and clamped to 0..65535.
// Returns the highest count of the image.
uint16_t decodeCounts(const CountsImage& counts, const CountsScale& scale, int pixelFormat, uint8_t* frame,
                      uint16_t* offsetCodes);

} // namespace calidra::uvc
