#pragma once
// The library behind the C contract: reads its configuration, starts the
// providers (GenICam cameras first, then USB cameras, the simulated camera
// last), hands out handles and passes device changes to the device-check
// callback.

#include "camera_provider.h"
#include "svk.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace calidra::sorvik {

class CameraLibrary : private ProviderEvents {
public:
    static CameraLibrary& instance();

    int init();
    int uninit();
    int cameraCount(int* count);
    int cameraInfo(SvkCameraInfo* records, int count);
    int open(const char* openKey, SvkHandle* handle);
    int close(SvkHandle handle);
    int setDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context);

    // The live session behind a handle, or null.
    std::shared_ptr<CameraSession> session(SvkHandle handle);

private:
    void deviceChecked(int state) override;
    // The running providers, or none before init.
    std::vector<std::shared_ptr<CameraProvider>> runningProviders();
    int collectCameras(std::vector<CameraListing>& cameras);

    std::mutex mutex_;
    bool initialized_ = false;
    std::vector<std::shared_ptr<CameraProvider>> providers_;
    std::vector<std::pair<SvkHandle, std::shared_ptr<CameraSession>>> sessions_;
    SvkDeviceCheckCallback deviceCheck_ = nullptr;
    void* deviceCheckContext_ = nullptr;
    uintptr_t nextHandle_ = 0x5100;
};

} // namespace calidra::sorvik
