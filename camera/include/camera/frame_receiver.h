#pragma once
// Where the camera connection delivers frames: the frame pipeline, or a fake in tests.

#include "cameraframe/camera_frame.h"

#include <cstdint>

namespace calidra {

class Camera;

class FrameReceiver {
public:
    virtual ~FrameReceiver() = default;
    // GUI thread: the camera whose frames follow, and nullptr before it is closed.
    virtual void cameraChanged(Camera* camera) { (void)camera; }
    // GUI thread, before acquisition is switched on.
    virtual void allocateBuffers(int width, int height) = 0;
    // The camera's frame thread; the frame's pixels are valid during the call only.
    virtual void processFrame(const CameraFrame& frame) = 0;
    virtual void setNucRunning(bool running) = 0;
    virtual uint32_t lastFrameTick() const = 0;
    virtual void setLastFrameTick(uint32_t tick) = 0;
};

} // namespace calidra
