#include "pipeline/frame_pipeline.h"

namespace calidra {

void FramePipeline::followPeople() {
    std::lock_guard<std::mutex> lock(peopleLock_);
    finishedPeople_.clear();
    PeopleTracker::FrameInput input;
    input.detections = &detection_.detections;
    input.width = buffers_.width();
    input.height = buffers_.height();
    input.tick = detection_.regionPassTick;
    input.minimumRegionArea = operatorSettings_.frame.minimumRegionArea;
    input.alarmCelsius = operatorSettings_.frame.alarmCelsius;
    tracker_.update(input, finishedPeople_);
    for (const PersonResult& result : finishedPeople_)
        host_.personFinished(result);
}

void FramePipeline::finishPeopleInView() {
    std::lock_guard<std::mutex> lock(peopleLock_);
    finishedPeople_.clear();
    tracker_.finishAll(finishedPeople_);
    for (const PersonResult& result : finishedPeople_)
        host_.personFinished(result);
}

} // namespace calidra
