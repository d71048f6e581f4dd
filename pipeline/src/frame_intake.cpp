#include "pipeline/frame_buffers.h"

#include <algorithm>

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

bool FrameBuffers::matches(const FrameRecord& frame) const {
    return frame.width == static_cast<uint32_t>(width()) && frame.height == static_cast<uint32_t>(height());
}

namespace {

template <PixelFormat Format>
FrameExtremes takePixels(const unsigned char* pixel, std::size_t pixelCount, uint8_t* detection,
                         uint16_t* codes) {
    constexpr std::size_t stride = Format == PixelFormat::RgbCode32 ? 4 : 2;
    FrameExtremes extremes;
    double maximum = extremes.maximumCelsius;
    double minimum = extremes.minimumCelsius;
    for (std::size_t index = 0; index < pixelCount; ++index, pixel += stride) {
        const uint16_t code = pixelCode(pixel, Format);
        detection[index] = detectionByte(code, Format);
        codes[index] = code;
        const double celsius = codeToCelsius(code, Format);
        if (celsius < FrameExtremes::ceilingCelsius) {
            maximum = std::max(maximum, celsius);
            minimum = std::min(minimum, celsius);
        }
    }
    extremes.maximumCelsius = maximum;
    extremes.minimumCelsius = minimum;
    return extremes;
}

} // namespace

IntakeResult intakeFrame(const FrameRecord& frame, std::optional<PixelFormat> format, FrameBuffers& buffers) {
    IntakeResult result;
    if (!format) {
        result.outcome = IntakeOutcome::UnknownFormat;
        return result;
    }
    if (!buffers.matches(frame)) {
        buffers.countSkippedFrame();
        result.outcome = IntakeOutcome::SizeMismatch;
        return result;
    }
    const std::size_t pixelCount = buffers.detectionImage.total();
    if (frame.data == nullptr && pixelCount > 0) {
        result.outcome = IntakeOutcome::NoPixels;
        return result;
    }
    const auto* pixels = static_cast<const unsigned char*>(frame.data);
    auto* detection = buffers.detectionImage.ptr<uint8_t>();
    auto* codes = buffers.codePlane.ptr<uint16_t>();
    switch (*format) {
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
