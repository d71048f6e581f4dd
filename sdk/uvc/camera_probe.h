#pragma once
// Recognising a video node: which camera it is, by USB ids and offered streams.

#include "camera_profiles.h"
#include "video_device.h"

#include <memory>
#include <string>

namespace calidra::uvc {

struct DiscoveredCamera {
    std::string path;
    DeviceIdentity identity;
    const CameraProfile* profile = nullptr; // null: a listed node no profile fits
    StreamMode mode;

    // The USB serial, or the bus path when the device has none or every board
    // of its kind carries the same one.
    std::string identityText() const;
    std::string model() const;
    bool operator==(const DiscoveredCamera& other) const;
};

// Opens path and fills camera; the open device is returned for a session to
// use, null when the node cannot be opened (result says why). A node that
// cannot capture, or offers none of its profile's streams, gets no profile.
std::unique_ptr<VideoDevice> probeCamera(DeviceSystem& system, const std::string& path,
                                         DiscoveredCamera& camera, DeviceResult& result);

} // namespace calidra::uvc
