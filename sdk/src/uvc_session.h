#pragma once
// One open USB camera behind the contract: its capture session (stream,
// capture thread, conversion with "UserCompensationParaB") and the nodes the
// library keeps itself, as it does for the simulated camera: the palette of
// svkGetRGBData and the NUC settings. "NUCManualRun" runs the camera's own
// flat-field correction where its profile knows the command.

#include "camera_provider.h"
#include "capture_session.h"
#include "kept_nodes.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace calidra::sorvik {

class UvcSession : public CameraSession {
public:
    explicit UvcSession(std::shared_ptr<uvc::CaptureSession> capture);
    ~UvcSession() override;

    const uvc::DiscoveredCamera& camera() const { return capture_->camera(); }
    std::string identity() const { return capture_->camera().identityText(); }
    bool closed() const { return closed_.load(); }
    bool unplugged() const { return capture_->unplugged(); }

    // The camera's node went away: the unplug callback fires on the capture
    // thread; returns once it has returned (at most timeoutMs).
    void deviceRemoved(int timeoutMs);

    void close() override;
    int setFrameCallback(SvkFrameCallback callback, void* context) override;
    int setUnplugCallback(SvkUnplugCallback callback, void* context) override;
    int setAcquisition(int enable) override;
    int imageSize(SvkImageSize* size) override;
    int setPixelFormat(int format) override;
    int pixelFormat(int* format) override;
    int rgbData(unsigned char* buffer, int bytes) override;
    int nodeInfo(const char* node, SvkNodeInfo* info) override;
    int nodeEnum(const char* node, SvkEnumRecord* record) override;
    int nodeFloat(const char* node, SvkFloatRecord* record) override;
    int setNodeInt(const char* node, int value) override;
    int setNodeFloat(const char* node, double value) override;
    int setNodeEnum(const char* node, const char* entry) override;
    int setNodeCommand(const char* node) override;

private:
    // SVK_OK while the camera can be used, else why not.
    int usable() const;

    const std::shared_ptr<uvc::CaptureSession> capture_;
    std::atomic<bool> closed_{false};
    KeptNodes nodes_; // palette and NUC settings; the offset is the capture session's

    std::mutex pictureMutex_;
    std::vector<uint16_t> pictureCodes_; // the newest frame's codes, reused for every picture
};

} // namespace calidra::sorvik
