#include "pipeline/frame_pipeline.h"

#include "pipeline/frame_settings.h"
#include "pipeline/palette_rendering.h"
#include "pipeline/palettes.h"

#include "maskfile/maskinfo.h"

namespace calidra {

FramePipeline::FramePipeline(FramePipelineHost& host) : host_(host) {}

void FramePipeline::allocateBuffers(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        buffers_.allocate(width, height);
    }
    detection_ = DetectionResults{};
}

void FramePipeline::processFrame(const SvkFrameRecord* record) {
    if (record == nullptr)
        return;
    lastFrameTick_.store(host_.tickMs());
    const std::optional<PixelFormat> format = pixelFormatFromCode(host_.pixelFormatCode());
    const FrameRecord frame = FrameRecord::fromCamera(record);

    const IntakeResult intake = intakeFrame(frame, format, buffers_);
    frameMaxTemperature_.store(intake.extremes.maximumCelsius);
    frameMinTemperature_.store(intake.extremes.minimumCelsius);

    // No acquisition started yet: nothing to measure or draw into.
    if (buffers_.width() == 0 || buffers_.height() == 0) {
        detection_ = DetectionResults{};
        trackingTemperature_.store(0.0);
        personPresent_.store(false);
        return;
    }

    operatorSettings_ = host_.operatorSettings();
    frameSettings_ = readFrameSettings(operatorSettings_.texts, operatorSettings_.unit);

    // Read afresh every frame: the mask editor may have rewritten the file a moment ago.
    maskfile::FileBytes maskBytes{};
    maskfile::readMaskRegions(maskfile::stationMaskFilePath(host_.programFolder()), maskBytes);
    detector_.detectAndMeasure(buffers_, format, frameSettings_, maskfile::decodeRecords(maskBytes),
                               [this] { return host_.tickMs(); }, detection_);
    trackingTemperature_.store(detection_.trackingTemperature);
    personPresent_.store(detection_.personPresent);

    if (nucRunning_.load())
        return;

    renderFrame(frame, format);
    keepCleanCopy();

    if (host_.viewWindowExists())
        host_.showFrame(buffers_.renderImage, false, std::string());
}

void FramePipeline::renderFrame(const FrameRecord& frame, std::optional<PixelFormat> format) {
    if (!format)
        return;
    cv::Mat& render = buffers_.renderImage;
    if (*format == PixelFormat::RgbCode32) {
        // The camera draws its own palette; whatever it does not write keeps the last picture.
        host_.cameraRgbData(render.data, static_cast<int>(render.total() * render.elemSize()));
        flipCameraPicture(render);
        return;
    }
    renderOwnPalette(frame, *format, paletteTable(operatorSettings_.paletteNumber), render);
}

void FramePipeline::keepCleanCopy() {
    std::lock_guard<std::mutex> lock(frameLock_);
    buffers_.renderImage.copyTo(buffers_.cleanCopy);
}

void FramePipeline::withCleanCopy(const std::function<void(const cv::Mat&)>& reader) {
    std::lock_guard<std::mutex> lock(frameLock_);
    reader(buffers_.cleanCopy);
}

} // namespace calidra
