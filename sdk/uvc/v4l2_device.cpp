// The thin real implementation of the device seam: ioctls on /dev/video*, USB
// ids and serial from sysfs.

#include "video_device.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace calidra::uvc {

namespace {

int retryIoctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

DeviceResult fromErrno() {
    switch (errno) {
    case ENODEV:
    case ENXIO:
        return DeviceResult::Gone;
    case EAGAIN:
        return DeviceResult::Timeout;
    case EINVAL:
    case ENOTTY:
    case ENOENT:
        return DeviceResult::Unsupported;
    default:
        return DeviceResult::Failed;
    }
}

std::string readLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The USB device folder in sysfs behind a video node: the node's "device" is
// the USB interface, its parent the device with idVendor, idProduct, serial.
std::string usbDeviceFolder(const std::string& nodeName) {
    char resolved[PATH_MAX];
    const std::string link = "/sys/class/video4linux/" + nodeName + "/device";
    if (::realpath(link.c_str(), resolved) == nullptr) {
        return {};
    }
    std::string folder(resolved);
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

uint16_t readHexId(const std::string& path) {
    const std::string text = readLine(path);
    return text.empty() ? 0 : uint16_t(std::strtoul(text.c_str(), nullptr, 16));
}

std::string nodeName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class V4l2Device : public VideoDevice {
public:
    V4l2Device(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~V4l2Device() override {
        unmapBuffers();
        ::close(fd_);
    }

    DeviceResult identity(DeviceIdentity& identity) override {
        v4l2_capability capability{};
        if (retryIoctl(fd_, VIDIOC_QUERYCAP, &capability) < 0) {
            return fromErrno();
        }
        const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? capability.device_caps
                                                                                    : capability.capabilities;
        identity.card = reinterpret_cast<const char*>(capability.card);
        identity.busInfo = reinterpret_cast<const char*>(capability.bus_info);
        identity.canCapture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (caps & V4L2_CAP_STREAMING) != 0;
        const std::string folder = usbDeviceFolder(nodeName(path_));
        if (!folder.empty()) {
            identity.vendorId = readHexId(folder + "/idVendor");
            identity.productId = readHexId(folder + "/idProduct");
            identity.serial = readLine(folder + "/serial");
        }
        return DeviceResult::Ok;
    }

    DeviceResult frameSizes(std::vector<FrameSize>& sizes) override {
        sizes.clear();
        for (uint32_t formatIndex = 0;; ++formatIndex) {
            v4l2_fmtdesc format{};
            format.index = formatIndex;
            format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (retryIoctl(fd_, VIDIOC_ENUM_FMT, &format) < 0) {
                break;
            }
            for (uint32_t sizeIndex = 0;; ++sizeIndex) {
                v4l2_frmsizeenum size{};
                size.index = sizeIndex;
                size.pixel_format = format.pixelformat;
                if (retryIoctl(fd_, VIDIOC_ENUM_FRAMESIZES, &size) < 0 ||
                    size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
                    break;
                }
                sizes.push_back({format.pixelformat, size.discrete.width, size.discrete.height});
            }
        }
        return errno == ENODEV ? DeviceResult::Gone : DeviceResult::Ok;
    }

    DeviceResult setFormat(const FrameSize& wanted, ActiveFormat& active) override {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.pixelformat = wanted.fourcc;
        format.fmt.pix.width = wanted.width;
        format.fmt.pix.height = wanted.height;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        if (retryIoctl(fd_, VIDIOC_S_FMT, &format) < 0) {
            return fromErrno();
        }
        active.size = {format.fmt.pix.pixelformat, format.fmt.pix.width, format.fmt.pix.height};
        active.bytesPerLine = format.fmt.pix.bytesperline;
        active.imageBytes = format.fmt.pix.sizeimage;
        return DeviceResult::Ok;
    }

    DeviceResult setFrameRate(uint32_t framesPerSecond) override {
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe = {1, framesPerSecond};
        return retryIoctl(fd_, VIDIOC_S_PARM, &parameters) < 0 ? fromErrno() : DeviceResult::Ok;
    }

    DeviceResult requestBuffers(uint32_t count, uint32_t& granted) override {
        v4l2_requestbuffers request{};
        request.count = count;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (retryIoctl(fd_, VIDIOC_REQBUFS, &request) < 0) {
            return fromErrno();
        }
        for (uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.index = i;
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            if (retryIoctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) {
                return fromErrno();
            }
            void* mapped =
                ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
            if (mapped == MAP_FAILED) {
                return fromErrno();
            }
            mappings_.push_back({mapped, buffer.length});
        }
        granted = request.count;
        return DeviceResult::Ok;
    }

    DeviceResult queueBuffer(uint32_t index) override {
        v4l2_buffer buffer{};
        buffer.index = index;
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        return retryIoctl(fd_, VIDIOC_QBUF, &buffer) < 0 ? fromErrno() : DeviceResult::Ok;
    }

    DeviceResult dequeueBuffer(int timeoutMs, DequeuedBuffer& dequeued) override {
        pollfd waiting{fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, timeoutMs);
        if (ready < 0) {
            return errno == EINTR ? DeviceResult::Timeout : DeviceResult::Failed;
        }
        if (ready == 0) {
            return DeviceResult::Timeout;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (retryIoctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
            // An error poll with nothing to dequeue would wake every poll at once.
            const bool pollError = (waiting.revents & (POLLERR | POLLHUP)) != 0;
            return errno == EAGAIN && pollError ? DeviceResult::Failed : fromErrno();
        }
        if (buffer.index >= mappings_.size()) {
            return DeviceResult::Failed;
        }
        dequeued.index = buffer.index;
        dequeued.data = static_cast<const uint8_t*>(mappings_[buffer.index].address);
        dequeued.bytesUsed = buffer.bytesused;
        dequeued.corrupted = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0;
        return DeviceResult::Ok;
    }

    DeviceResult startStreaming() override {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return retryIoctl(fd_, VIDIOC_STREAMON, &type) < 0 ? fromErrno() : DeviceResult::Ok;
    }

    DeviceResult stopStreaming() override {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return retryIoctl(fd_, VIDIOC_STREAMOFF, &type) < 0 ? fromErrno() : DeviceResult::Ok;
    }

    DeviceResult setControl(uint32_t controlId, int32_t value) override {
        v4l2_control control{controlId, value};
        return retryIoctl(fd_, VIDIOC_S_CTRL, &control) < 0 ? fromErrno() : DeviceResult::Ok;
    }

    DeviceResult extensionUnitQuery(uint8_t unit, uint8_t selector, ExtensionQuery query, uint8_t* data,
                                    uint16_t size) override {
        uvc_xu_control_query request{};
        request.unit = unit;
        request.selector = selector;
        switch (query) {
        case ExtensionQuery::SetCurrent:
            request.query = UVC_SET_CUR;
            break;
        case ExtensionQuery::GetCurrent:
            request.query = UVC_GET_CUR;
            break;
        case ExtensionQuery::GetLength:
            request.query = UVC_GET_LEN;
            break;
        case ExtensionQuery::GetInfo:
            request.query = UVC_GET_INFO;
            break;
        }
        request.size = size;
        request.data = data;
        return retryIoctl(fd_, UVCIOC_CTRL_QUERY, &request) < 0 ? fromErrno() : DeviceResult::Ok;
    }

private:
    struct Mapping {
        void* address;
        std::size_t length;
    };

    void unmapBuffers() {
        for (const Mapping& mapping : mappings_) {
            ::munmap(mapping.address, mapping.length);
        }
        mappings_.clear();
    }

    const int fd_;
    const std::string path_;
    std::vector<Mapping> mappings_;
};

class V4l2DeviceSystem : public DeviceSystem {
public:
    std::vector<DeviceEntry> listDevices() override {
        std::vector<DeviceEntry> entries;
        DIR* folder = ::opendir("/dev");
        if (folder == nullptr) {
            return entries;
        }
        while (const dirent* item = ::readdir(folder)) {
            const std::string name = item->d_name;
            if (name.size() <= 5 || name.compare(0, 5, "video") != 0 ||
                name.find_first_not_of("0123456789", 5) != std::string::npos) {
                continue;
            }
            DeviceEntry entry;
            entry.path = "/dev/" + name;
            const std::string usbFolder = usbDeviceFolder(name);
            if (!usbFolder.empty()) {
                entry.vendorId = readHexId(usbFolder + "/idVendor");
                entry.productId = readHexId(usbFolder + "/idProduct");
            }
            entries.push_back(std::move(entry));
        }
        ::closedir(folder);
        return entries;
    }

    std::unique_ptr<VideoDevice> open(const std::string& path, DeviceResult& result) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            result = errno == ENOENT || errno == ENODEV || errno == ENXIO ? DeviceResult::Gone
                                                                          : DeviceResult::Failed;
            return nullptr;
        }
        result = DeviceResult::Ok;
        return std::make_unique<V4l2Device>(fd, path);
    }
};

} // namespace

std::unique_ptr<DeviceSystem> makeV4l2DeviceSystem() {
    return std::make_unique<V4l2DeviceSystem>();
}

} // namespace calidra::uvc
