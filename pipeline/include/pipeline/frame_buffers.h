#pragma once
// The per-acquisition working buffers and the intake that fills them from a camera frame.

#include "pipeline/temperature_scale.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <cstdint>

namespace calidra {

// Allocated once per acquisition and reused for every frame of it.
class FrameBuffers {
public:
    // Releases the previous buffers; zeroed so a first unreadable frame renders black.
    void allocate(int width, int height);

    int width() const { return detectionImage.cols; }
    int height() const { return detectionImage.rows; }
    bool matches(const CameraFrame& frame) const;

    cv::Mat detectionImage; // CV_8UC1, one detection byte per pixel
    cv::Mat codePlane;      // CV_16UC1, the camera's temperature codes
    cv::Mat renderImage;    // CV_8UC3, blue, green, red
    cv::Mat cleanCopy;      // CV_8UC3, the render image before any overlay

    // Frames left out because their size differs from the buffers'; read by the host's timers.
    uint32_t skippedFrameCount() const { return skippedFrames_.load(std::memory_order_relaxed); }
    void countSkippedFrame() { skippedFrames_.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> skippedFrames_{0};
};

enum class IntakeOutcome {
    Written,
    UnknownFormat, // buffers keep the previous frame
    SizeMismatch,  // buffers keep the previous frame; counted as skipped
    NoPixels,      // null data pointer; buffers keep the previous frame
};

struct FrameExtremes {
    // Only pixels below the ceiling count; the defaults mean "no pixel counted".
    double maximumCelsius = -100.0;
    double minimumCelsius = temperatureCeilingCelsius;
};

struct IntakeResult {
    IntakeOutcome outcome = IntakeOutcome::UnknownFormat;
    FrameExtremes extremes;
};

// One pass over the pixels, row 0 first; writes the detection image and the code plane and
// measures the extremes. Allocates nothing.
IntakeResult intakeFrame(const CameraFrame& frame, FrameBuffers& buffers);

} // namespace calidra
