#include "pipeline/frame_buffers.h"

#include "pipeline/intake_kernels.h"

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

uint16_t firstCodeAtCeiling(PixelFormat format) {
    switch (format) {
    case PixelFormat::Offset16:
        return firstCodeAtCeiling<PixelFormat::Offset16>();
    case PixelFormat::Direct16:
        return firstCodeAtCeiling<PixelFormat::Direct16>();
    case PixelFormat::RgbCode32:
        break;
    }
    return firstCodeAtCeiling<PixelFormat::RgbCode32>();
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
    const PixelFormat format = *frame.format;
    CodeRange range;
    takePixelsVectorised(format, pixels, pixelCount, detection, codes, firstCodeAtCeiling(format), range);
    if (range.anyCounted()) {
        result.extremes.maximumCelsius = codeToCelsius(range.highest, format);
        result.extremes.minimumCelsius = codeToCelsius(range.lowest, format);
    }
    result.outcome = IntakeOutcome::Written;
    return result;
}

} // namespace calidra
