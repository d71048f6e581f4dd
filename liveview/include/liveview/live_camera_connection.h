#pragma once
// The live view's camera: the connection core driven with the view as its front end and the
// frame pipeline as the receiver of its frames.

#include "svk.h"

#include <QString>

namespace calidra {

class LiveCameraConnection {
public:
    virtual ~LiveCameraConnection() = default;

    // The initial update's camera steps: library up, cameras listed, device notifications on,
    // automatic connection and read-out timers running.
    virtual void start() = 0;
    // Acquisition stopped when a camera is open, then the camera closed and the library down.
    virtual void shutdown() = 0;

    virtual bool cameraOpen() const = 0;
    virtual SvkHandle handle() const = 0;
    virtual bool userCompensationSupported() const = 0;
    virtual void SetNucInterval(int intervalMs) = 0;
    // Frame size of the open camera; false when none is open.
    virtual bool imageSize(int& width, int& height) const = 0;
};

} // namespace calidra
