#pragma once
// One open GenICam camera: its control (the exchanges with the camera, see
// genicam_control.h), its stream (the frames, see genicam_stream.h) and the
// nodes the library keeps itself ("UserCompensationParaB",
// "ImageColorPalette", "NUCManualRun" as the profile's command).

#include "genicam_control.h"
#include "genicam_stream.h"
#include "library_configuration.h"
#include "session_core.h"

#include <arv.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace calidra::sorvik {

class GenicamProvider;

class GenicamSession : public SessionCore, public std::enable_shared_from_this<GenicamSession> {
public:
    GenicamSession(GenicamProvider& provider, std::string address, std::string serial, uint64_t generation,
                   GenicamProfile profile, std::chrono::milliseconds answerWait);
    ~GenicamSession() override;

    // Opens the device, takes control of it and writes the profile's features.
    int connect(GInetAddress* interfaceAddress, GInetAddress* deviceAddress) {
        return control_.connect(interfaceAddress, deviceAddress);
    }

    const std::string& address() const { return address_; }
    uint64_t generation() const { return generation_; }
    bool closed() const { return control_.closed(); }
    bool controlLost() const { return control_.controlLost(); }
    bool gone() const { return control_.gone(); }
    // Closed, and its camera let go of: nothing of it runs any more.
    bool settled() const { return control_.closed() && control_.idle(); }

    // The camera went away: later calls fail, the unplug callback fires,
    // once, on the calling thread, and the camera is let go of.
    void markGone();

    void close() override;
    int setAcquisition(int enable) override;

private:
    int usable() const override { return control_.usable(); }
    int frameSize(int& width, int& height) override { return control_.frameSize(width, height); }
    int cameraNodeInfo(const char* node, SvkNodeInfo& info) override;
    int cameraNodeEnum(const char* node, SvkEnumRecord& record) override;
    int cameraNodeFloat(const char* node, SvkFloatRecord& record) override;
    int setCameraNodeInt(const char* node, int value) override;
    int setCameraNodeFloat(const char* node, double value) override;
    int setCameraNodeEnum(const char* node, const char* entry) override;
    int runCameraCommand(const char* node) override;

    int startStream();
    // Stops the frames at once and tells the camera; no frame callback runs
    // after it returns (unless called from one).
    int stopStream();
    // Exchange thread only.
    int startOnCamera();
    void releaseCamera();

    GenicamProvider& provider_;
    const std::string address_;
    const uint64_t generation_;
    const GenicamProfile profile_;

    std::mutex mutex_; // the unplug, fired once
    bool unplugFired_ = false;

    GenicamStream stream_;
    // Last: its exchange thread ends first, before anything its exchanges use.
    GenicamControl control_;
};

} // namespace calidra::sorvik
