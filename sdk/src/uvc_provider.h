#pragma once
// USB radiometric cameras through V4L2. The device watcher keeps the list of
// cameras (the configured nodes and, with "discover", every node whose USB
// ids match a known camera, re-checked every 2 s); a camera is opened by its
// identity, looked up at open time, because its node path changes when it is
// plugged in again.

#include "camera_provider.h"
#include "device_watcher.h"
#include "library_configuration.h"
#include "video_device.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace calidra::sorvik {

class UvcSession;

class UvcProvider : public CameraProvider {
public:
    static constexpr const char* kOpenKeyPrefix = "uvc:";

    // system: the devices to use, null for this machine's own; the caller
    // keeps it alive while the provider runs.
    UvcProvider(UvcConfiguration configuration, uvc::DeviceSystem* system, int recheckIntervalMs);
    ~UvcProvider() override;

    int start(ProviderEvents& events) override;
    void stop() override;
    int listCameras(std::vector<CameraListing>& cameras) override;
    int open(const std::string& openKey, std::shared_ptr<CameraSession>& session) override;

private:
    void deviceChanged(uvc::DeviceChange change, const uvc::DiscoveredCamera& camera);

    const UvcConfiguration configuration_;
    const int recheckIntervalMs_;
    std::unique_ptr<uvc::DeviceSystem> ownSystem_;
    uvc::DeviceSystem* system_;
    ProviderEvents* events_ = nullptr;
    std::unique_ptr<uvc::DeviceWatcher> watcher_;

    std::mutex mutex_;
    bool stopping_ = false;
    std::vector<std::weak_ptr<UvcSession>> sessions_;
};

} // namespace calidra::sorvik
