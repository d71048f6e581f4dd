#pragma once
// A fake device system for tests: cameras that are plugged into and pulled from
// /dev/video* paths, serving a frame the test built from a documented layout.

#include "video_device.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace calidra::uvc::testing {

struct FakeCameraSpec {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial;
    std::string busInfo = "usb-0000:00:14.0-1";
    std::string card = "Fake USB camera";
    std::vector<FrameSize> sizes;
    int framesPerSecond = 200;
};

struct ExtensionRequest {
    uint8_t unit;
    uint8_t selector;
    ExtensionQuery query;
    std::vector<uint8_t> data;
};

class FakeCamera {
public:
    explicit FakeCamera(FakeCameraSpec spec) : spec_(std::move(spec)) {}

    const FakeCameraSpec& spec() const { return spec_; }
    // Served, copied into each buffer, from now on.
    void setFrame(std::vector<uint8_t> bytes);
    std::vector<ExtensionRequest> extensionRequests() const;
    int opens() const;

private:
    friend class FakeVideoDevice;
    friend class FakeDeviceSystem;

    const FakeCameraSpec spec_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool attached_ = false;
    std::vector<uint8_t> frame_;
    std::vector<ExtensionRequest> extensionRequests_;
    int opens_ = 0;
};

class FakeDeviceSystem : public DeviceSystem {
public:
    void plug(const std::string& path, std::shared_ptr<FakeCamera> camera);
    // Devices open on the path report Gone from now on.
    void unplug(const std::string& path);

    std::vector<DeviceEntry> listDevices() override;
    std::unique_ptr<VideoDevice> open(const std::string& path, DeviceResult& result) override;

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<FakeCamera>> plugged_;
};

} // namespace calidra::uvc::testing
