#pragma once
// The frame pipeline's reference stage: keeps the reference source out of detection, samples it,
// runs the tracker, asks for the correction to be written and says whether screening is paused.
// Frame thread only.

#include "pipeline/frame_buffers.h"
#include "pipeline/reference_region.h"
#include "pipeline/reference_tracker.h"

#include <opencv2/core.hpp>

#include <optional>

namespace calidra {

class FramePipelineHost;

// A sample is uniform when the central part's standard deviation is at most this.
constexpr double referenceUniformSpreadCelsius = 0.3;

// The central half (in each direction) of the region: its mean and whether it is uniform.
ReferenceSample sampleReference(const cv::Mat& codePlane, PixelFormat scale, const cv::Rect& region);

class ReferenceStage {
public:
    // The correction is written at most this often.
    static constexpr uint32_t correctionWriteIntervalMs = 1000;
    // Frames this soon after a write may not show it yet; they are not sampled.
    static constexpr uint32_t writeSettleMs = 300;
    // A write that moves the offset by more than this (the lock, a lock again after a loss) leaves
    // the frames read before the camera applied it, that one included, too far off to screen. The
    // source itself shows when it did: it reads as expected with the new offset.
    static constexpr double unsettledMoveCelsius = 0.1;

    // Acquisition start: the camera's offset is read again, the tracker searches afresh.
    void restart() { started_ = false; }

    // Before detection: the region's detection bytes are set outside the detection band, so the
    // source is never taken for a person, in every temperature mode.
    void keepOutOfDetection(FrameBuffers& buffers, std::optional<PixelFormat> format,
                            const ReferenceSettings& settings, double detectionCelsius);

    // After detection: returns true while screening is paused (mode Reference, not locked, or a
    // large correction not yet seen in the readings).
    bool track(const FrameBuffers& buffers, std::optional<PixelFormat> format,
               const ReferenceSettings& settings, uint32_t tickMs, FramePipelineHost& host);

    const ReferenceReport& report() const { return reported_; }

private:
    void trackRegion(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                     const ReferenceSettings& settings, uint32_t tickMs, FramePipelineHost& host);
    void writeCorrectionIfDue(uint32_t tickMs, FramePipelineHost& host);

    ReferenceTracker tracker_;
    ReferenceReport reported_;
    bool started_ = false;
    double offsetInForce_ = 0.0;
    bool written_ = false;
    uint32_t lastWriteTick_ = 0;
    bool settling_ = false;            // the last write moved the offset by more than unsettledMoveCelsius
    double settlingMoveCelsius_ = 0.0; // and by this much
    bool settlingLock_ = false;        // and was the lock's: reported as still searching until seen
};

} // namespace calidra
