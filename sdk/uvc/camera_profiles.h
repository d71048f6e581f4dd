#pragma once
// What this library knows of each USB radiometric camera: how to recognise it,
// which stream carries its temperatures and how, and how to run its shutter.

#include "video_device.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calidra::uvc {

struct UsbId {
    uint16_t vendorId;
    uint16_t productId;
};

// One stream the camera offers and where its 16-bit little-endian counts lie.
struct StreamMode {
    FrameSize size;
    uint32_t countsTopRow = 0;
    uint32_t countsWidth = 0;
    uint32_t countsHeight = 0;
};

// A one-byte SET_CUR on a UVC extension-unit control.
struct ExtensionUnitCommand {
    uint8_t unit;
    uint8_t selector;
    uint8_t value;
};

// How a frame shows that its counts are not the temperatures the profile reads.
enum class FrameCheck {
    CeilingOfHighGain, // counts above the high-gain range only come from the low-gain range
    FloorOfTLinear     // counts below it are raw sensor counts, not TLinear kelvin
};

enum class FrameVerdict { Temperatures, LowGainRange, RawCounts };

struct CameraProfile {
    const char* model;
    std::vector<UsbId> usbIds;
    std::vector<StreamMode> modes; // preferred first
    uint32_t framesPerSecond;
    double countsPerKelvin;
    FrameCheck check;
    uint16_t checkCounts;
    std::optional<ExtensionUnitCommand> flatFieldCorrection;
    std::vector<std::string> sharedSerials; // serial strings that do not tell two boards apart
};

const std::vector<CameraProfile>& knownProfiles();
const CameraProfile* profileForUsbId(uint16_t vendorId, uint16_t productId);
// The first of the profile's modes the device offers, or null.
const StreamMode* chooseMode(const CameraProfile& profile, const std::vector<FrameSize>& offered);
FrameVerdict judgeFrame(const CameraProfile& profile, uint16_t highestCounts);
// The one line logged when frames start being refused.
std::string refusalMessage(const CameraProfile& profile, FrameVerdict verdict);

} // namespace calidra::uvc
