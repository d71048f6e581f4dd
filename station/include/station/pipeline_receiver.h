#pragma once
// The camera connection's frames go to the frame pipeline, and its camera to the pipeline's host.

#include "station/station_host.h"

#include "camera/frame_receiver.h"
#include "pipeline/frame_pipeline.h"

#include <functional>

namespace calidra {

class PipelineReceiver : public FrameReceiver {
public:
    // afterFrame runs on the frame thread once the pipeline is done with a frame.
    PipelineReceiver(FramePipeline& pipeline, StationHost& host, std::function<void()> afterFrame = {})
        : pipeline_(pipeline), host_(host), afterFrame_(std::move(afterFrame)) {}

    void cameraChanged(Camera* camera) override { host_.setCamera(camera); }
    void allocateBuffers(int width, int height) override { pipeline_.allocateBuffers(width, height); }
    void processFrame(const CameraFrame& frame) override {
        pipeline_.processFrame(frame);
        if (afterFrame_)
            afterFrame_();
    }
    void setNucRunning(bool running) override { pipeline_.setNucRunning(running); }
    uint32_t lastFrameTick() const override { return pipeline_.lastFrameTick(); }
    void setLastFrameTick(uint32_t tick) override { pipeline_.setLastFrameTick(tick); }

private:
    FramePipeline& pipeline_;
    StationHost& host_;
    std::function<void()> afterFrame_;
};

} // namespace calidra
