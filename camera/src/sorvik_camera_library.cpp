#include "camera/sorvik_camera_library.h"

#include "camera/frame_record_decoding.h"

#include "svk.h"

#include <cstring>
#include <mutex>

namespace calidra {

static_assert(unknownNodeResult == SVK_ERROR_UNKNOWN_NODE);

namespace {

// The camera's nodes, named here and nowhere else in the station.
namespace node {
constexpr const char* userOffset = "UserCompensationParaB";
constexpr const char* palette = "ImageColorPalette";
constexpr const char* nucMode = "NUCMode";
constexpr const char* nucAutoPeriodicTime = "NUCAutoPeriodicTime";
constexpr const char* nucAutoTemperature = "NUCAutoTemperature";
constexpr const char* nucManualRun = "NUCManualRun";
constexpr const char* incompleteFrames = "StreamIncompleteFramesLastMinute";
} // namespace node

QString fixedText(const char* text, std::size_t capacity) {
    return QString::fromLocal8Bit(text, int(strnlen(text, capacity)));
}

CameraRecord recordFrom(const SvkCameraInfo& info) {
    CameraRecord record;
    record.label = fixedText(info.label, sizeof info.label);
    record.kind = info.kind;
    record.model = fixedText(info.model, sizeof info.model);
    record.identity = fixedText(info.identity, sizeof info.identity);
    record.openKey = QByteArray(info.openKey, int(strnlen(info.openKey, sizeof info.openKey)));
    return record;
}

class SorvikCamera : public Camera {
public:
    SorvikCamera(SvkHandle handle, CameraEvents& events) : handle_(handle), events_(events) {
        svkSetUnplugCallback(handle_, &SorvikCamera::unplugCallback, this);
        svkSetFrameCallback(handle_, &SorvikCamera::frameCallback, this);
    }
    // svkClose returns once the camera's callbacks have stopped: none can reach this object after.
    ~SorvikCamera() override { svkClose(handle_); }

    int setAcquisition(bool running) override { return svkSetAcquisition(handle_, running ? 1 : 0); }
    int imageSize(int& width, int& height) override {
        SvkImageSize size{};
        const int result = svkGetImageSize(handle_, &size);
        width = size.width;
        height = size.height;
        return result;
    }
    int setPixelFormat(PixelFormat format) override {
        return svkSetPixelFormat(handle_, pixelFormatCode(format));
    }
    int rgbData(unsigned char* buffer, int bytes) override { return svkGetRGBData(handle_, buffer, bytes); }

    bool offersUserOffset() override {
        SvkNodeInfo info;
        std::memset(&info, 0, sizeof info);
        info.nodeType = -1;
        info.accessMode = 5;
        info.visibility = -1;
        return svkGetNodeInfo(handle_, node::userOffset, &info) == SVK_OK && info.accessMode >= 2 &&
               info.accessMode <= 4;
    }
    int userOffset(double& celsius) override { return readFloatNode(node::userOffset, celsius); }
    int setUserOffset(double celsius) override { return svkSetNodeFloat(handle_, node::userOffset, celsius); }
    int incompleteFramesLastMinute(double& count) override {
        return readFloatNode(node::incompleteFrames, count);
    }

    int paletteIndex(int& index) override {
        auto record = std::make_unique<SvkEnumRecord>();
        std::memset(record.get(), 0, sizeof *record);
        record->capacity = SVK_ENUM_CAPACITY;
        const int result = svkGetNodeEnum(handle_, node::palette, record.get());
        if (result == SVK_OK)
            index = record->currentIndex;
        return result;
    }
    int setPalette(const QString& name) override {
        return svkSetNodeEnum(handle_, node::palette, name.toLocal8Bit().constData());
    }

    int setNucMode(const QString& mode) override {
        return svkSetNodeEnum(handle_, node::nucMode, mode.toLocal8Bit().constData());
    }
    int setNucAutoPeriodicTime(int value) override {
        return svkSetNodeInt(handle_, node::nucAutoPeriodicTime, value);
    }
    int setNucAutoTemperature(int value) override {
        return svkSetNodeInt(handle_, node::nucAutoTemperature, value);
    }
    int runNuc() override { return svkSetNodeCommand(handle_, node::nucManualRun); }

    int showControlDialog() override { return svkShowControlDialog(handle_); }

private:
    int readFloatNode(const char* name, double& value) {
        SvkFloatRecord record{};
        const int result = svkGetNodeFloat(handle_, name, &record);
        if (result == SVK_OK)
            value = record.value;
        return result;
    }
    // The record does not carry the format: the camera is asked for it with every frame.
    static void frameCallback(const SvkFrameRecord* record, void* context) {
        if (context == nullptr)
            return;
        auto* camera = static_cast<SorvikCamera*>(context);
        int formatCode = 0;
        const bool formatKnown = svkGetPixelFormat(camera->handle_, &formatCode) == SVK_OK;
        const std::optional<CameraFrame> frame =
            decodeFrameRecord(record, formatKnown ? std::optional<int>(formatCode) : std::nullopt);
        if (frame)
            camera->events_.frameArrived(*frame);
    }
    static void unplugCallback(void* context) {
        if (context != nullptr)
            static_cast<SorvikCamera*>(context)->events_.unplugged();
    }

    SvkHandle handle_;
    CameraEvents& events_;
};

// The add/remove notification may still be inside the library when the library object goes; the
// relay stays behind for the life of the program and simply finds no handler.
struct DeviceCheckRelay {
    std::mutex lock;
    std::function<void(bool added)> handler;

    static void callback(int state, void* context) {
        auto* relay = static_cast<DeviceCheckRelay*>(context);
        if (relay == nullptr)
            return;
        std::lock_guard<std::mutex> guard(relay->lock);
        if (relay->handler)
            relay->handler(state == 0);
    }
};

DeviceCheckRelay* newDeviceCheckRelay() {
    static std::mutex registryLock;
    static std::vector<std::unique_ptr<DeviceCheckRelay>> registry; // a handful at most
    std::lock_guard<std::mutex> guard(registryLock);
    registry.push_back(std::make_unique<DeviceCheckRelay>());
    return registry.back().get();
}

class SorvikCameraLibrary : public CameraLibrary {
public:
    SorvikCameraLibrary() : relay_(newDeviceCheckRelay()) {}
    ~SorvikCameraLibrary() override { setDeviceCheckHandler({}); }

    int initialise() override {
        const int result = svkInit();
        svkSetDeviceCheckCallback(&DeviceCheckRelay::callback, relay_);
        return result;
    }
    void shutdown() override {
        svkSetDeviceCheckCallback(nullptr, nullptr);
        svkUninit();
    }
    void setDeviceCheckHandler(std::function<void(bool added)> handler) override {
        std::lock_guard<std::mutex> guard(relay_->lock);
        relay_->handler = std::move(handler);
    }

    int cameraCount(int& count) override { return svkGetCameraCount(&count); }
    int cameraInfo(int count, std::vector<CameraRecord>& records) override {
        records.clear();
        if (count <= 0)
            return SVK_OK;
        std::vector<SvkCameraInfo> infos(static_cast<std::size_t>(count));
        std::memset(infos.data(), 0, infos.size() * sizeof(SvkCameraInfo));
        const int result = svkGetCameraInfo(infos.data(), count);
        if (result != SVK_OK)
            return result;
        for (const SvkCameraInfo& info : infos)
            records.push_back(recordFrom(info));
        return SVK_OK;
    }
    int open(const CameraRecord& record, CameraEvents& events, std::unique_ptr<Camera>& camera) override {
        camera.reset();
        SvkHandle handle = nullptr;
        const int result = svkOpen(record.openKey.constData(), &handle, 0);
        if (result != SVK_OK)
            return result;
        camera = std::make_unique<SorvikCamera>(handle, events);
        return SVK_OK;
    }

private:
    DeviceCheckRelay* relay_;
};

} // namespace

std::unique_ptr<CameraLibrary> makeSorvikCameraLibrary() {
    return std::make_unique<SorvikCameraLibrary>();
}

} // namespace calidra
