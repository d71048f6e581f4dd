#pragma once
// The seam between the USB camera code and the kernel: everything the capture
// needs from a V4L2 video node, so tests can stand a fake device in its place.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace calidra::uvc {

enum class DeviceResult {
    Ok,
    Timeout,     // nothing arrived in time; try again
    Gone,        // the device was unplugged (ENODEV)
    Unsupported, // the device does not offer this
    Failed       // any other error
};

// A /dev/video* node as listed, with the USB ids of the device behind it
// (zero when it is not a USB device). Listing never opens the node.
struct DeviceEntry {
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

struct DeviceIdentity {
    std::string card;    // the driver's name for the device
    std::string busInfo; // e.g. "usb-0000:00:14.0-2": stable for one USB port
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial; // USB serial string, empty when the device has none
    bool canCapture = false;
};

// A pixel format (V4L2 fourcc) at one discrete frame size.
struct FrameSize {
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const FrameSize& other) const {
        return fourcc == other.fourcc && width == other.width && height == other.height;
    }
};

struct ActiveFormat {
    FrameSize size;
    uint32_t bytesPerLine = 0;
    uint32_t imageBytes = 0;
};

// A filled buffer; data stays valid until the buffer is queued again.
struct DequeuedBuffer {
    uint32_t index = 0;
    const uint8_t* data = nullptr;
    uint32_t bytesUsed = 0;
    bool corrupted = false; // the driver flagged the transfer as damaged
};

// UVC class requests on an extension unit.
enum class ExtensionQuery { SetCurrent, GetCurrent, GetLength, GetInfo };

class VideoDevice {
public:
    virtual ~VideoDevice() = default;

    virtual DeviceResult identity(DeviceIdentity& identity) = 0;
    virtual DeviceResult frameSizes(std::vector<FrameSize>& sizes) = 0;
    virtual DeviceResult setFormat(const FrameSize& wanted, ActiveFormat& active) = 0;
    virtual DeviceResult setFrameRate(uint32_t framesPerSecond) = 0;
    // Memory-mapped buffers; granted may be fewer than asked.
    virtual DeviceResult requestBuffers(uint32_t count, uint32_t& granted) = 0;
    virtual DeviceResult queueBuffer(uint32_t index) = 0;
    virtual DeviceResult dequeueBuffer(int timeoutMs, DequeuedBuffer& buffer) = 0;
    virtual DeviceResult startStreaming() = 0;
    // Stops the stream; every buffer returns to the caller, unqueued.
    virtual DeviceResult stopStreaming() = 0;
    virtual DeviceResult setControl(uint32_t controlId, int32_t value) = 0;
    virtual DeviceResult extensionUnitQuery(uint8_t unit, uint8_t selector, ExtensionQuery query,
                                            uint8_t* data, uint16_t size) = 0;
};

class DeviceSystem {
public:
    virtual ~DeviceSystem() = default;
    virtual std::vector<DeviceEntry> listDevices() = 0;
    virtual std::unique_ptr<VideoDevice> open(const std::string& path, DeviceResult& result) = 0;
};

// The real devices of this machine.
std::unique_ptr<DeviceSystem> makeV4l2DeviceSystem();

} // namespace calidra::uvc
