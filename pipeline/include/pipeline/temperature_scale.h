#pragma once
// The scale of the camera's temperature codes, by pixel format.

#include "cameraframe/camera_frame.h"

#include <cstdint>

namespace calidra {

enum class TemperatureUnit : int {
    Celsius = 0,
    Fahrenheit = 1,
};

// No temperature the station measures, stores or shows goes above this.
constexpr double temperatureCeilingCelsius = 45.0;

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
