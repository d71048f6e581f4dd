#pragma once
// The camera's frame record, its pixel formats and the scale of its temperature codes.

#include <cstddef>
#include <cstdint>
#include <optional>

struct SvkFrameRecord;

namespace calidra {

enum class PixelFormat : int {
    Offset16 = 103,  // 16-bit code, offset scale
    Direct16 = 104,  // 16-bit code, direct scale
    RgbCode32 = 110, // two 16-bit words, the second the code (offset scale)
};

enum class TemperatureUnit : int {
    Celsius = 0,
    Fahrenheit = 1,
};

// No temperature the station measures, stores or shows goes above this.
constexpr double temperatureCeilingCelsius = 45.0;

// The frame as the camera library hands it over; data is borrowed for the callback only.
struct FrameRecord {
    uint32_t width = 0;
    uint32_t height = 0;
    const void* data = nullptr;

    // Reads the packed camera record byte by byte: its data pointer is not aligned.
    static FrameRecord fromCamera(const SvkFrameRecord* record);
};

// Empty for a format code the station does not understand.
std::optional<PixelFormat> pixelFormatFromCode(int formatCode);

std::size_t bytesPerPixel(PixelFormat format);

// The temperature code of one pixel; pixel points at its first byte (little-endian, any alignment).
inline uint16_t pixelCode(const unsigned char* pixel, PixelFormat format) {
    const unsigned char* word = format == PixelFormat::RgbCode32 ? pixel + 2 : pixel;
    return static_cast<uint16_t>(word[0] | (word[1] << 8));
}

inline bool usesOffsetScale(PixelFormat format) {
    return format != PixelFormat::Direct16;
}

inline double codeToCelsius(uint16_t code, PixelFormat format) {
    return usesOffsetScale(format) ? (int(code) - 1000) * 0.1 : int(code) * 0.1;
}

// One byte per pixel in which a temperature band can be cut with two constants; wraps outside
// the band the byte can hold (only the low 8 bits are kept).
inline uint8_t detectionByte(uint16_t code, PixelFormat format) {
    if (usesOffsetScale(format)) {
        // trunc((code - 900) x 0.16) in whole numbers: the double 0.16 is a hair above 4/25, never
        // enough to move a quotient past an integer, so both agree for every code.
        const int32_t scaled = (int32_t(code) - 900) * 4 / 25;
        return static_cast<uint8_t>(static_cast<uint32_t>(scaled) & 0xFFu);
    }
    return static_cast<uint8_t>((code >> 2) & 0xFFu);
}

double toDisplayUnit(double celsius, TemperatureUnit unit);
double toCelsius(double displayValue, TemperatureUnit unit);

} // namespace calidra
