#include "pipeline/reference_stage.h"

#include "pipeline/frame_pipeline_host.h"
#include "pipeline/human_detection.h"

#include <cmath>

namespace calidra {

ReferenceSample sampleReference(const cv::Mat& codePlane, PixelFormat scale, const cv::Rect& region) {
    // The central half: the source's edges blur into the background.
    const cv::Rect centre(region.x + region.width / 4, region.y + region.height / 4,
                          std::max(1, region.width / 2), std::max(1, region.height / 2));
    double sum = 0.0;
    double squares = 0.0;
    for (int row = centre.y; row < centre.y + centre.height; ++row) {
        const uint16_t* codes = codePlane.ptr<uint16_t>(row);
        for (int column = centre.x; column < centre.x + centre.width; ++column) {
            const double celsius = codeToCelsius(codes[column], scale);
            sum += celsius;
            squares += celsius * celsius;
        }
    }
    const double count = double(centre.area());
    const double mean = sum / count;
    const double variance = std::max(0.0, squares / count - mean * mean);
    return {mean, std::sqrt(variance) <= referenceUniformSpreadCelsius};
}

void ReferenceStage::keepOutOfDetection(FrameBuffers& buffers, std::optional<PixelFormat> format,
                                        const ReferenceSettings& settings, double detectionCelsius) {
    const ReferenceRegion& region = settings.region;
    if (region.problem != ReferenceLoss::None || !region.insideFrame(buffers.width(), buffers.height()))
        return;
    const DetectionBand band = detectionBand(format, detectionCelsius);
    int outside = 0;
    while (outside < 255 && double(outside) >= band.low && double(outside) < band.high)
        ++outside;
    buffers.detectionImage(cv::Rect(region.x, region.y, region.width, region.height)).setTo(outside);
}

bool ReferenceStage::track(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                           const ReferenceSettings& settings, uint32_t tickMs, FramePipelineHost& host) {
    if (!settings.correcting) {
        tracker_.switchOff();
        started_ = false;
        written_ = false;
        settling_ = false;
    } else {
        if (!started_) {
            // Whatever offset the camera holds (a Manual one, an earlier correction) is in the
            // readings; the tracker works on readings without it.
            started_ = true;
            double offset = 0.0;
            offsetInForce_ = host.cameraUserOffset(offset) ? offset : 0.0;
            written_ = false;
            settling_ = false;
            tracker_.restart();
        }
        trackRegion(buffers, format, settings, tickMs, host);
        writeCorrectionIfDue(tickMs, host);
    }
    ReferenceReport report;
    // A lock counts once its correction is in the readings: until then the operator is told the
    // station is still searching, which is why screening is paused.
    report.state = settling_ && settlingLock_ ? ReferenceState::Searching : tracker_.state();
    report.loss = tracker_.loss();
    report.correctionCelsius = settings.correcting ? offsetInForce_ : 0.0;
    report.jumpDropCelsius = tracker_.jumpDropCelsius();
    if (report != reported_) {
        reported_ = report;
        host.referenceChanged(report);
    }
    return report.state == ReferenceState::Searching || report.state == ReferenceState::Lost || settling_;
}

void ReferenceStage::trackRegion(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                                 const ReferenceSettings& settings, uint32_t tickMs,
                                 FramePipelineHost& host) {
    const ReferenceRegion& region = settings.region;
    if (region.problem != ReferenceLoss::None) {
        tracker_.regionUnusable(region.problem);
        return;
    }
    if (!region.insideFrame(buffers.width(), buffers.height())) {
        tracker_.regionUnusable(ReferenceLoss::OutsideFrame);
        return;
    }
    if (!format || buffers.codePlane.empty())
        return;
    if (!settling_ && written_ && uint32_t(tickMs - lastWriteTick_) < writeSettleMs)
        return;
    ReferenceSample sample = sampleReference(buffers.codePlane, *format,
                                             cv::Rect(region.x, region.y, region.width, region.height));
    sample.celsius -= offsetInForce_;
    if (settling_) {
        // Read with the old offset, the source is off the estimate by the whole move; with the new
        // one, on it. Until then the tracker is not fed. A write not seen within the hold time (the
        // camera refused it) is given up: what the camera holds is read again and written once
        // more, so a write still on its way cannot change it later, and the source is searched
        // afresh.
        const bool applied = sample.uniform && std::abs(sample.celsius - tracker_.estimateCelsius()) <
                                                   settlingMoveCelsius_ / 2.0;
        if (!applied) {
            if (uint32_t(tickMs - lastWriteTick_) > settings.holdMs) {
                settling_ = false;
                double offset = 0.0;
                if (host.cameraUserOffset(offset))
                    offsetInForce_ = offset;
                host.writeReferenceCorrection(offsetInForce_);
                written_ = false;
                tracker_.restart();
            }
            return;
        }
        settling_ = false;
    }
    tracker_.update(sample, tickMs, {settings.setCelsius, settings.holdMs});
}

void ReferenceStage::writeCorrectionIfDue(uint32_t tickMs, FramePipelineHost& host) {
    const ReferenceState state = tracker_.state();
    if (state != ReferenceState::Locked && state != ReferenceState::Holding)
        return;
    // Moves below a hundredth of a degree are not worth a write.
    constexpr double smallestMoveCelsius = 0.01;
    const double correction = tracker_.correctionCelsius();
    if (std::abs(correction - offsetInForce_) < smallestMoveCelsius)
        return;
    if (written_ && uint32_t(tickMs - lastWriteTick_) < correctionWriteIntervalMs)
        return;
    host.writeReferenceCorrection(correction);
    settlingMoveCelsius_ = std::abs(correction - offsetInForce_);
    settling_ = settlingMoveCelsius_ > unsettledMoveCelsius;
    settlingLock_ = reported_.state != ReferenceState::Locked && reported_.state != ReferenceState::Holding;
    offsetInForce_ = correction;
    written_ = true;
    lastWriteTick_ = tickMs;
}

} // namespace calidra
