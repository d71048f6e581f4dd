#pragma once
// One open USB camera behind the contract: its capture session (stream,
// capture thread, conversion with "UserCompensationParaB") and the nodes the
// library keeps itself, as it does for the simulated camera: the palette of
// svkGetRGBData and the NUC settings. "NUCManualRun" runs the camera's own
// flat-field correction where its profile knows the command.

#include "capture_session.h"
#include "session_core.h"

#include <atomic>
#include <memory>
#include <string>

namespace calidra::sorvik {

class UvcSession : public SessionCore, private uvc::CaptureSink {
public:
    // Opens the camera; null, with result an SVK_ code, when it cannot be used.
    static std::shared_ptr<UvcSession> open(uvc::DeviceSystem& system, const uvc::DiscoveredCamera& camera,
                                            uvc::CaptureSession::ReportSink report, int& result);
    ~UvcSession() override;

    const uvc::DiscoveredCamera& camera() const { return capture_->camera(); }
    std::string identity() const { return capture_->camera().identityText(); }
    bool closed() const { return closed_.load(); }
    bool unplugged() const { return capture_->unplugged(); }

    // The camera's node went away: the unplug callback fires on the capture
    // thread; returns once it has returned (at most timeoutMs).
    void deviceRemoved(int timeoutMs);

    void close() override;
    int setAcquisition(int enable) override;

private:
    UvcSession();

    int usable() const override;
    int frameSize(int& width, int& height) override;
    int cameraNodeInfo(const char* node, SvkNodeInfo& info) override;
    int cameraNodeFloat(const char* node, SvkFloatRecord& record) override;
    int setCameraNodeFloat(const char* node, double value) override;
    int runCameraCommand(const char* node) override;

    int frameFormat() const override { return frames().format(); }
    void keepCodes(std::vector<uint16_t>& codes) override { frames().keep(codes); }
    void frameDecoded(const void* data, uint32_t width, uint32_t height) override {
        frames().deliverFrame(data, width, height);
    }
    void cameraGone() override { frames().deliverUnplug(); }

    std::shared_ptr<uvc::CaptureSession> capture_;
    std::atomic<bool> closed_{false};
};

} // namespace calidra::sorvik
