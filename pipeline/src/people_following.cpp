#include "pipeline/frame_pipeline.h"

namespace calidra {

void FramePipeline::followPeople(bool screening) {
    std::lock_guard<std::mutex> lock(peopleLock_);
    finishedPeople_.clear();
    PeopleTracker::FrameInput input;
    input.detections = &detection_.detections;
    input.width = buffers_.width();
    input.height = buffers_.height();
    input.tick = detection_.regionPassTick;
    input.minimumRegionArea = operatorSettings_.frame.minimumRegionArea;
    input.alarmCelsius = operatorSettings_.frame.alarmCelsius;
    input.screening = screening;
    input.blind = nucRunning_.load();
    tracker_.update(input, finishedPeople_);
    handOnFinishedPeople();
}

void FramePipeline::finishPeopleInView() {
    std::lock_guard<std::mutex> lock(peopleLock_);
    finishedPeople_.clear();
    tracker_.finishAll(finishedPeople_);
    handOnFinishedPeople();
}

void FramePipeline::handOnFinishedPeople() {
    if (finishedPeople_.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(baselineLock_);
        for (const PersonResult& result : finishedPeople_)
            baseline_.offer(result, baselineSettings_, fixedAlarmCelsius_);
    }
    // The people first, then what they changed: a report is always of the status as it is now.
    for (const PersonResult& result : finishedPeople_)
        host_.personFinished(result);
    std::lock_guard<std::mutex> lock(baselineLock_);
    reportBaseline(baseline_.status(baselineSettings_, fixedAlarmCelsius_));
}

void FramePipeline::applyAlarmThreshold(uint32_t tick) {
    std::lock_guard<std::mutex> lock(baselineLock_);
    baselineSettings_ = operatorSettings_.baseline;
    fixedAlarmCelsius_ = operatorSettings_.frame.alarmCelsius;
    const BaselineStatus status = baseline_.update(baselineSettings_, fixedAlarmCelsius_, tick);
    // The one value every later stage compares with: detection, the people, the snapshot's caption.
    operatorSettings_.frame.alarmCelsius = status.thresholdCelsius;
    alarmThreshold_.store(status.thresholdCelsius);
    reportBaseline(status);
}

void FramePipeline::reportBaseline(const BaselineStatus& status) {
    if (reportedBaseline_ == status)
        return;
    reportedBaseline_ = status;
    host_.baselineChanged(status);
}

BaselineStatus FramePipeline::baselineStatus() {
    std::lock_guard<std::mutex> lock(baselineLock_);
    return baseline_.status(baselineSettings_, fixedAlarmCelsius_);
}

void FramePipeline::resetBaseline() {
    std::lock_guard<std::mutex> lock(baselineLock_);
    baseline_.reset();
    const BaselineStatus status = baseline_.status(baselineSettings_, fixedAlarmCelsius_);
    alarmThreshold_.store(status.thresholdCelsius);
    reportBaseline(status);
}

void FramePipeline::setBaselineValues(const BaselineSettings& settings, double fixedAlarmCelsius) {
    std::lock_guard<std::mutex> lock(baselineLock_);
    baselineSettings_ = settings;
    fixedAlarmCelsius_ = fixedAlarmCelsius;
    const BaselineStatus status = baseline_.status(baselineSettings_, fixedAlarmCelsius_);
    alarmThreshold_.store(status.thresholdCelsius);
    reportBaseline(status);
}

} // namespace calidra
