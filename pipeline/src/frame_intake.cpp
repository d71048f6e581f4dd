#include "pipeline/frame_buffers.h"

#include <algorithm>
#include <cstring>

namespace calidra {

void FrameBuffers::allocate(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    detectionImage = cv::Mat::zeros(height, width, CV_8UC1);
    codePlane = cv::Mat::zeros(height, width, CV_16UC1);
    renderImage = cv::Mat::zeros(height, width, CV_8UC3);
    cleanCopy = cv::Mat::zeros(height, width, CV_8UC3);
    skippedFrames_.store(0, std::memory_order_relaxed);
}

bool FrameBuffers::matches(const CameraFrame& frame) const {
    return frame.width == static_cast<uint32_t>(width()) && frame.height == static_cast<uint32_t>(height());
}

namespace {

// Both scales rise with the code, so "below the ceiling" is "below one code" and the extremes are
// the temperatures of the lowest and highest such code.
template <PixelFormat Format> uint16_t firstCodeAtCeiling() {
    static const uint16_t code = [] {
        uint32_t candidate = 0;
        while (candidate < 0xFFFF &&
               codeToCelsius(static_cast<uint16_t>(candidate), Format) < temperatureCeilingCelsius)
            ++candidate;
        return static_cast<uint16_t>(candidate);
    }();
    return code;
}

inline uint16_t littleEndianWord(const unsigned char* bytes) {
    uint16_t word;
    std::memcpy(&word, bytes, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = static_cast<uint16_t>((word >> 8) | (word << 8));
#endif
    return word;
}

// Three simple loops, each of which the compiler runs over many pixels at once.
template <PixelFormat Format>
FrameExtremes takePixels(const unsigned char* __restrict pixel, std::size_t pixelCount,
                         uint8_t* __restrict detection, uint16_t* __restrict codes) {
    constexpr std::size_t stride = Format == PixelFormat::RgbCode32 ? 4 : 2;
    constexpr std::size_t codeOffset = Format == PixelFormat::RgbCode32 ? 2 : 0;
    for (std::size_t index = 0; index < pixelCount; ++index)
        codes[index] = littleEndianWord(pixel + index * stride + codeOffset);
    for (std::size_t index = 0; index < pixelCount; ++index)
        detection[index] = detectionByte(codes[index], Format);

    // Unsigned order as signed order (flip the top bit), for which the baseline instruction set
    // has packed minimum and maximum.
    const auto key = [](uint16_t code) { return static_cast<int16_t>(code ^ 0x8000u); };
    const int16_t ceilingKey = key(firstCodeAtCeiling<Format>());
    int16_t lowest = INT16_MAX;
    int16_t highest = INT16_MIN;
    for (std::size_t index = 0; index < pixelCount; ++index) {
        const int16_t value = key(codes[index]);
        const auto counted = static_cast<int16_t>(-static_cast<int16_t>(value < ceilingKey)); // all ones
        lowest = std::min(lowest, static_cast<int16_t>((value & counted) | (INT16_MAX & ~counted)));
        highest = std::max(highest, static_cast<int16_t>((value & counted) | (INT16_MIN & ~counted)));
    }
    FrameExtremes extremes;
    if (lowest != INT16_MAX || highest != INT16_MIN) {
        extremes.maximumCelsius = codeToCelsius(static_cast<uint16_t>(highest ^ 0x8000), Format);
        extremes.minimumCelsius = codeToCelsius(static_cast<uint16_t>(lowest ^ 0x8000), Format);
    }
    return extremes;
}

} // namespace

IntakeResult intakeFrame(const CameraFrame& frame, FrameBuffers& buffers) {
    IntakeResult result;
    if (!frame.format) {
        result.outcome = IntakeOutcome::UnknownFormat;
        return result;
    }
    if (!buffers.matches(frame)) {
        buffers.countSkippedFrame();
        result.outcome = IntakeOutcome::SizeMismatch;
        return result;
    }
    const std::size_t pixelCount = buffers.detectionImage.total();
    if (frame.pixels == nullptr && pixelCount > 0) {
        result.outcome = IntakeOutcome::NoPixels;
        return result;
    }
    const unsigned char* pixels = frame.pixels;
    auto* detection = buffers.detectionImage.ptr<uint8_t>();
    auto* codes = buffers.codePlane.ptr<uint16_t>();
    switch (*frame.format) {
    case PixelFormat::Offset16:
        result.extremes = takePixels<PixelFormat::Offset16>(pixels, pixelCount, detection, codes);
        break;
    case PixelFormat::Direct16:
        result.extremes = takePixels<PixelFormat::Direct16>(pixels, pixelCount, detection, codes);
        break;
    case PixelFormat::RgbCode32:
        result.extremes = takePixels<PixelFormat::RgbCode32>(pixels, pixelCount, detection, codes);
        break;
    }
    result.outcome = IntakeOutcome::Written;
    return result;
}

} // namespace calidra
