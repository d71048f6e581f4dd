#pragma once
// Fills the thermal test camera's frames from a simulator scenario camera:
// its people, objects and replayed footage, as Mono16 counts in kelvin x 100
// (or x 10, as IRFormat says), flat for half a second after NUCAction, drifting as the scenario says.

#include "camera_drift.h"
#include "scenario.h"

#include <arv.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace calidra::thermalcamera {

class ThermalFrameSource {
public:
    ThermalFrameSource(simulator::CameraScenario camera, ArvFakeCamera* fakeCamera);

    // The fake camera's fill-pattern callback (its own thread).
    static void fillPattern(ArvBuffer* buffer, void* source, guint32 exposureTimeUs, guint32 gain,
                            ArvPixelFormat pixelFormat);

private:
    void fill(ArvBuffer* buffer, ArvPixelFormat pixelFormat);
    void drawTemperatures(double seconds);

    const simulator::CameraScenario camera_;
    ArvFakeCamera* const fakeCamera_;
    const std::chrono::steady_clock::time_point start_;
    double lastFillSeconds_ = -1.0;
    double flatUntilSeconds_ = -1.0;
    uint64_t frameIndex_ = 0;
    std::size_t replayFrame_ = 0;
    std::vector<float> temperatures_;               // degrees Celsius, the scenario's size
    std::vector<uint16_t> replayCodes_;             // one recorded frame at a time
    std::unique_ptr<simulator::CameraDrift> drift_; // null: no drift
};

} // namespace calidra::thermalcamera
