#pragma once
// One camera frame, decoded from the camera library's record at the camera seam.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace calidra {

enum class PixelFormat {
    Offset16,  // 16-bit code, offset scale
    Direct16,  // 16-bit code, direct scale
    RgbCode32, // two 16-bit words, the second the code (offset scale); the camera draws its picture
};

inline std::size_t bytesPerPixel(PixelFormat format) {
    return format == PixelFormat::RgbCode32 ? 4 : 2;
}

// A view over the library's pixels, valid during the frame callback only: nothing is copied.
struct CameraFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    std::optional<PixelFormat> format;     // empty: a format the station does not know
    const unsigned char* pixels = nullptr; // row 0 first, width x height pixels; null: none
};

} // namespace calidra
