#include "pipeline/temperature_scale.h"

#include <svk.h>

#include <cstring>

namespace calidra {

FrameRecord FrameRecord::fromCamera(const SvkFrameRecord* record) {
    FrameRecord frame;
    if (record == nullptr)
        return frame;
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    std::memcpy(&frame.width, bytes + offsetof(SvkFrameRecord, width), sizeof frame.width);
    std::memcpy(&frame.height, bytes + offsetof(SvkFrameRecord, height), sizeof frame.height);
    std::memcpy(&frame.data, bytes + offsetof(SvkFrameRecord, data), sizeof frame.data);
    return frame;
}

std::optional<PixelFormat> pixelFormatFromCode(int formatCode) {
    switch (formatCode) {
    case SVK_PIXEL_FORMAT_OFFSET16:
        return PixelFormat::Offset16;
    case SVK_PIXEL_FORMAT_DIRECT16:
        return PixelFormat::Direct16;
    case SVK_PIXEL_FORMAT_RGB_CODE32:
        return PixelFormat::RgbCode32;
    default:
        return std::nullopt;
    }
}

std::size_t bytesPerPixel(PixelFormat format) {
    return format == PixelFormat::RgbCode32 ? 4 : 2;
}

double toDisplayUnit(double celsius, TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? celsius * 1.8 + 32 : celsius;
}

double toCelsius(double displayValue, TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? (displayValue - 32) / 1.8 : displayValue;
}

} // namespace calidra
