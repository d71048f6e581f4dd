#include "camera_probe.h"

#include <algorithm>

namespace calidra::uvc {

std::string DiscoveredCamera::identityText() const {
    const bool shared =
        profile != nullptr && std::find(profile->sharedSerials.begin(), profile->sharedSerials.end(),
                                        identity.serial) != profile->sharedSerials.end();
    return identity.serial.empty() || shared ? identity.busInfo : identity.serial;
}

std::string DiscoveredCamera::model() const {
    return profile != nullptr ? profile->model : identity.card;
}

bool DiscoveredCamera::operator==(const DiscoveredCamera& other) const {
    return path == other.path && profile == other.profile && identity.vendorId == other.identity.vendorId &&
           identity.productId == other.identity.productId && identityText() == other.identityText();
}

std::unique_ptr<VideoDevice> probeCamera(DeviceSystem& system, const std::string& path,
                                         DiscoveredCamera& camera, DeviceResult& result) {
    camera = DiscoveredCamera();
    camera.path = path;
    std::unique_ptr<VideoDevice> device = system.open(path, result);
    if (!device) {
        return nullptr;
    }
    result = device->identity(camera.identity);
    if (result != DeviceResult::Ok) {
        return nullptr;
    }
    const CameraProfile* profile = profileForUsbId(camera.identity.vendorId, camera.identity.productId);
    std::vector<FrameSize> offered;
    if (profile == nullptr || !camera.identity.canCapture) {
        return device;
    }
    result = device->frameSizes(offered);
    if (result != DeviceResult::Ok) {
        return nullptr;
    }
    // The same USB ids appear on other devices (and on a camera's metadata
    // node): only the documented stream makes it this camera.
    if (const StreamMode* mode = chooseMode(*profile, offered)) {
        camera.profile = profile;
        camera.mode = *mode;
    }
    return device;
}

} // namespace calidra::uvc
