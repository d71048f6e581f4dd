#include "simulated_camera.h"

#include "camera_palettes.h"
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace calidra::simulator {

namespace {

void copyText(char* target, std::size_t capacity, const std::string& text) {
    std::memset(target, 0, capacity);
    std::memcpy(target, text.data(), std::min(text.size(), capacity - 1));
}

bool nodeIs(const char* node, const char* name) {
    return node != nullptr && std::strcmp(node, name) == 0;
}

const char* const kNucModes[] = {"Auto", "Manual"};

} // namespace

// ---------------------------------------------------------------------------
// Library

Library& Library::instance() {
    static Library library;
    return library;
}

int Library::init() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) {
        return SVK_OK; // a second start-up keeps the running state
    }
    Scenario scenario;
    const char* path = std::getenv("SORVIK_SIM_SCENARIO");
    if (path != nullptr && *path != '\0') {
        std::string error;
        if (!loadScenario(path, scenario, error)) {
            std::fprintf(stderr, "svkInit: scenario file %s: %s\n", path, error.c_str());
            return SVK_ERROR_SCENARIO;
        }
    } else {
        scenario = defaultScenario();
    }
    devices_.clear();
    for (std::size_t i = 0; i < scenario.cameras.size(); ++i) {
        Device device;
        device.scenario = scenario.cameras[i];
        device.openKey = "sim:" + std::to_string(i) + ":" + device.scenario.identity;
        device.attached = device.scenario.present;
        for (const Event& event : device.scenario.events) {
            if (event.stallSeconds > 0.0) {
                device.stalls.emplace_back(event.atSeconds, event.atSeconds + event.stallSeconds);
            }
        }
        devices_.push_back(std::move(device));
    }
    start_ = std::chrono::steady_clock::now();
    stopEvents_ = false;
    initialized_ = true;
    eventThread_ = std::thread([this] { runEvents(); });
    return SVK_OK;
}

int Library::uninit() {
    std::vector<std::shared_ptr<Session>> sessions;
    std::thread events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            return SVK_OK;
        }
        initialized_ = false;
        stopEvents_ = true;
        sessions.swap(sessions_);
        events = std::move(eventThread_);
        deviceCheck_ = nullptr;
        deviceCheckContext_ = nullptr;
    }
    eventWake_.notify_all();
    if (events.joinable()) {
        if (events.get_id() == std::this_thread::get_id()) {
            events.detach();
        } else {
            events.join();
        }
    }
    for (auto& session : sessions) {
        session->stop();
    }
    return SVK_OK;
}

int Library::cameraCount(int* count) {
    if (count == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) {
        return SVK_ERROR_NOT_INITIALIZED;
    }
    *count = int(std::count_if(devices_.begin(), devices_.end(), [](const Device& d) { return d.attached; }));
    return SVK_OK;
}

int Library::cameraInfo(SvkCameraInfo* records, int count) {
    if (records == nullptr || count < 0) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) {
        return SVK_ERROR_NOT_INITIALIZED;
    }
    for (const Device& device : devices_) {
        if (device.attached && device.scenario.infoResult != 0) {
            return device.scenario.infoResult;
        }
    }
    int written = 0;
    for (const Device& device : devices_) {
        if (!device.attached || written >= count) {
            continue;
        }
        SvkCameraInfo& record = records[written++];
        std::memset(&record, 0, sizeof record);
        copyText(record.label, sizeof record.label, device.scenario.label);
        record.kind = device.scenario.kind;
        copyText(record.model, sizeof record.model, device.scenario.model);
        copyText(record.identity, sizeof record.identity, device.scenario.identity);
        copyText(record.openKey, sizeof record.openKey, device.openKey);
    }
    return SVK_OK;
}

int Library::open(const char* openKey, SvkHandle* handle) {
    if (openKey == nullptr || handle == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) {
        return SVK_ERROR_NOT_INITIALIZED;
    }
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        Device& device = devices_[i];
        if (!device.attached || device.openKey != openKey) {
            continue;
        }
        if (device.scenario.openResult != 0) {
            return device.scenario.openResult;
        }
        for (const auto& session : sessions_) {
            if (session->deviceIndex() == i && session->generation() == device.attachGeneration) {
                return SVK_ERROR_ACCESS; // one live session per camera
            }
        }
        SvkHandle newHandle = reinterpret_cast<SvkHandle>(nextHandle_);
        nextHandle_ += 0x10;
        sessions_.push_back(
            std::make_shared<Session>(*this, i, device.attachGeneration, device.scenario, newHandle));
        *handle = newHandle;
        return SVK_OK;
    }
    return SVK_ERROR_NOT_FOUND;
}

int Library::close(SvkHandle handle) {
    std::shared_ptr<Session> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(sessions_.begin(), sessions_.end(),
                               [handle](const auto& session) { return session->handle() == handle; });
        if (it == sessions_.end()) {
            return SVK_ERROR_INVALID_HANDLE;
        }
        closing = *it;
        sessions_.erase(it);
    }
    closing->stop();
    return SVK_OK;
}

int Library::setDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) {
        return SVK_ERROR_NOT_INITIALIZED;
    }
    deviceCheck_ = callback;
    deviceCheckContext_ = context;
    return SVK_OK;
}

std::shared_ptr<Session> Library::session(SvkHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& session : sessions_) {
        if (session->handle() == handle) {
            return session;
        }
    }
    return nullptr;
}

double Library::secondsSinceInit() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

bool Library::deviceUsable(std::size_t deviceIndex, uint64_t generation) {
    std::lock_guard<std::mutex> lock(mutex_);
    return deviceIndex < devices_.size() && devices_[deviceIndex].attached &&
           devices_[deviceIndex].attachGeneration == generation;
}

bool Library::stalled(std::size_t deviceIndex, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (deviceIndex >= devices_.size()) {
        return true;
    }
    for (const auto& [from, to] : devices_[deviceIndex].stalls) {
        if (seconds >= from && seconds < to) {
            return true;
        }
    }
    return false;
}

void Library::fireDeviceCheck(int state) {
    SvkDeviceCheckCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = deviceCheck_;
        context = deviceCheckContext_;
    }
    if (callback != nullptr) {
        callback(state, context);
    }
}

void Library::runEvents() {
    struct Timed {
        double atSeconds;
        std::size_t device;
        Event event;
    };
    std::vector<Timed> timeline;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            for (const Event& event : devices_[i].scenario.events) {
                if (event.plug || event.unplug) {
                    timeline.push_back({event.atSeconds, i, event});
                }
            }
        }
    }
    std::stable_sort(timeline.begin(), timeline.end(),
                     [](const Timed& a, const Timed& b) { return a.atSeconds < b.atSeconds; });
    for (const Timed& timed : timeline) {
        std::vector<std::shared_ptr<Session>> unplugged;
        bool changed = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const auto due = start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                          std::chrono::duration<double>(timed.atSeconds));
            if (eventWake_.wait_until(lock, due, [this] { return stopEvents_; })) {
                return;
            }
            Device& device = devices_[timed.device];
            if (timed.event.unplug && device.attached) {
                for (const auto& session : sessions_) {
                    if (session->deviceIndex() == timed.device &&
                        session->generation() == device.attachGeneration) {
                        unplugged.push_back(session);
                    }
                }
                device.attached = false;
                ++device.attachGeneration;
                changed = true;
            } else if (timed.event.plug && !device.attached) {
                device.attached = true;
                changed = true;
            }
        }
        if (!changed) {
            continue;
        }
        for (const auto& session : unplugged) {
            session->fireUnplug();
        }
        fireDeviceCheck(timed.event.unplug ? 1 : 0);
    }
}

// ---------------------------------------------------------------------------
// Session

Session::Session(Library& library, std::size_t deviceIndex, uint64_t generation,
                 const CameraScenario& scenario, SvkHandle handle)
    : library_(library), deviceIndex_(deviceIndex), generation_(generation), scenario_(scenario),
      handle_(handle), userOffset_(scenario.userOffset) {
    thread_ = std::thread([this] {
        runFrames();
        std::shared_ptr<Session> last;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            last.swap(keepAlive_);
        }
        // The session may end here, on its own thread, after its thread left runFrames.
    });
}

Session::~Session() {
    stop();
}

void Session::stop() {
    const bool ownThread = thread_.joinable() && thread_.get_id() == std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (ownThread && !keepAlive_) {
            // Closed from its own frame callback: the caller may drop the last
            // reference as soon as this returns, while the thread still has to
            // unwind through runFrames.
            keepAlive_ = weak_from_this().lock();
        }
    }
    wake_.notify_all();
    if (!thread_.joinable()) {
        return;
    }
    if (ownThread) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

bool Session::usable() {
    return library_.deviceUsable(deviceIndex_, generation_);
}

void Session::runFrames() {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / scenario_.fps));
    auto next = Clock::now() + period;
    uint64_t seenStarts = 0;
    std::size_t replayFrame = 0;
    for (;;) {
        SvkFrameCallback callback;
        void* context;
        bool acquiring;
        uint64_t starts;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_until(lock, next, [this] { return stopping_; })) {
                return;
            }
            callback = frameCallback_;
            context = frameContext_;
            acquiring = acquiring_;
            starts = acquisitionStarts_;
        }
        next += period;
        const auto now = Clock::now();
        if (next < now) {
            next = now; // a slow consumer delays frames instead of getting a burst
        }
        if (!acquiring || !usable()) {
            continue;
        }
        const double seconds = library_.secondsSinceInit();
        if (library_.stalled(deviceIndex_, seconds)) {
            continue;
        }
        if (starts != seenStarts) {
            seenStarts = starts;
            replayFrame = 0; // replay starts from the first frame at every acquisition start
        }
        // Codes on the offset scale first, then laid out in the pixel format.
        const std::size_t pixelCount = std::size_t(scenario_.width) * std::size_t(scenario_.height);
        std::vector<uint16_t> codes(pixelCount);
        const double offset = userOffset_.load();
        if (seconds < flatUntilSeconds_.load()) {
            std::fill(codes.begin(), codes.end(), offsetCode(scenario_.ambientCelsius + offset));
        } else if (scenario_.replayFrameCount > 0) {
            const uint16_t* source = scenario_.replayCodes.data() + replayFrame * pixelCount;
            const long shift = std::lround(offset * 10.0);
            for (std::size_t i = 0; i < pixelCount; ++i) {
                codes[i] = uint16_t(std::clamp(long(source[i]) + shift, 0L, 65535L));
            }
            replayFrame = (replayFrame + 1) % scenario_.replayFrameCount;
        } else {
            drawScene(scenario_, offset, seconds, frameIndex_, temperatures_);
            for (std::size_t i = 0; i < pixelCount; ++i) {
                codes[i] = offsetCode(temperatures_[i]);
            }
        }
        ++frameIndex_;
        const int format = pixelFormat_.load();
        const std::size_t bytesPerPixel = format == SVK_PIXEL_FORMAT_RGB_CODE32 ? 4 : 2;
        pixels_.resize(pixelCount * bytesPerPixel);
        for (std::size_t i = 0; i < pixelCount; ++i) {
            uint16_t code = codes[i];
            if (format == SVK_PIXEL_FORMAT_DIRECT16) {
                code = uint16_t(code >= 1000 ? code - 1000 : 0);
            }
            uint8_t* pixel = pixels_.data() + i * bytesPerPixel;
            if (bytesPerPixel == 4) {
                pixel[0] = pixel[1] = 0; // first word: not a temperature
                pixel += 2;
            }
            pixel[0] = uint8_t(code & 0xFF);
            pixel[1] = uint8_t(code >> 8);
        }
        {
            std::lock_guard<std::mutex> lock(latestMutex_);
            latestCodes_.swap(codes);
        }
        if (callback == nullptr) {
            continue;
        }
        SvkFrameRecord record;
        std::memset(&record, 0, sizeof record);
        record.width = uint32_t(scenario_.width);
        record.height = uint32_t(scenario_.height);
        record.data = pixels_.data();
        callback(&record, context);
    }
}

int Session::setFrameCallback(SvkFrameCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    frameCallback_ = callback;
    frameContext_ = context;
    return SVK_OK;
}

int Session::setUnplugCallback(SvkUnplugCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugCallback_ = callback;
    unplugContext_ = context;
    return SVK_OK;
}

void Session::fireUnplug() {
    SvkUnplugCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = unplugCallback_;
        context = unplugContext_;
    }
    if (callback != nullptr) {
        callback(context);
    }
}

int Session::setAcquisition(int enable) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (scenario_.acquisitionResult != 0) {
        return scenario_.acquisitionResult;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (enable != 0 && !acquiring_) {
        ++acquisitionStarts_;
    }
    acquiring_ = enable != 0;
    return SVK_OK;
}

int Session::imageSize(SvkImageSize* size) {
    if (size == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    size->offsetX = 0;
    size->offsetY = 0;
    size->width = scenario_.width;
    size->height = scenario_.height;
    return SVK_OK;
}

int Session::setPixelFormat(int format) {
    if (format != SVK_PIXEL_FORMAT_OFFSET16 && format != SVK_PIXEL_FORMAT_DIRECT16 &&
        format != SVK_PIXEL_FORMAT_RGB_CODE32) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    pixelFormat_.store(format);
    return SVK_OK;
}

int Session::pixelFormat(int* format) {
    if (format == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    *format = pixelFormat_.load();
    return SVK_OK;
}

int Session::rgbData(unsigned char* buffer, int bytes) {
    const std::size_t width = std::size_t(scenario_.width), height = std::size_t(scenario_.height);
    if (buffer == nullptr || bytes < 0 || std::size_t(bytes) < width * height * 3) {
        return SVK_ERROR_BUFFER_TOO_SMALL;
    }
    std::lock_guard<std::mutex> lock(latestMutex_);
    if (latestCodes_.size() != width * height) {
        return SVK_ERROR_NOT_FOUND; // no frame yet: nothing written
    }
    const int palette = palette_.load();
    for (std::size_t y = 0; y < height; ++y) {
        // The camera's picture comes bottom row first.
        const uint16_t* codes = latestCodes_.data() + (height - 1 - y) * width;
        unsigned char* row = buffer + y * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            // 18.0 to 40.0 degrees over the palette's rows.
            const int tenths = int(codes[x]) - 1000 - 180;
            const int index = std::clamp(tenths * 255 / 220, 0, 255);
            cameraPaletteColour(palette, index, row + x * 3);
        }
    }
    return SVK_OK;
}

int Session::nodeInfo(const char* node, SvkNodeInfo* info) {
    if (info == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    const bool known = nodeIs(node, "ImageColorPalette") || nodeIs(node, "NUCMode") ||
                       nodeIs(node, "NUCAutoPeriodicTime") || nodeIs(node, "NUCAutoTemperature") ||
                       nodeIs(node, "NUCManualRun") ||
                       (nodeIs(node, "UserCompensationParaB") && scenario_.offsetNode);
    if (!known) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    info->nodeType = 0;
    info->accessMode = 4; // readable and writable
    info->visibility = 0;
    return SVK_OK;
}

int Session::nodeEnum(const char* node, SvkEnumRecord* record) {
    if (record == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    std::vector<const char*> entries;
    int current = 0;
    if (nodeIs(node, "ImageColorPalette")) {
        entries.assign(kCameraPaletteNames, kCameraPaletteNames + kCameraPaletteCount);
        current = palette_.load();
    } else if (nodeIs(node, "NUCMode")) {
        entries.assign(std::begin(kNucModes), std::end(kNucModes));
        std::lock_guard<std::mutex> lock(nodeMutex_);
        current = nucMode_ == "Manual" ? 1 : 0;
    } else {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    const int capacity = std::clamp(record->capacity, 0, SVK_ENUM_CAPACITY);
    for (int i = 0; i < int(entries.size()) && i < capacity; ++i) {
        copyText(record->entries[i], SVK_ENUM_ENTRY_LENGTH, entries[i]);
    }
    record->currentIndex = current;
    return SVK_OK;
}

int Session::nodeFloat(const char* node, SvkFloatRecord* record) {
    if (record == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!nodeIs(node, "UserCompensationParaB") || !scenario_.offsetNode) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    record->value = userOffset_.load();
    return SVK_OK;
}

int Session::setNodeInt(const char* node, int value) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    std::lock_guard<std::mutex> lock(nodeMutex_);
    if (nodeIs(node, "NUCAutoPeriodicTime")) {
        nucPeriodicTime_ = value;
    } else if (nodeIs(node, "NUCAutoTemperature")) {
        nucTemperature_ = value;
    } else {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return SVK_OK;
}

int Session::setNodeFloat(const char* node, double value) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!nodeIs(node, "UserCompensationParaB") || !scenario_.offsetNode) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    if (!std::isfinite(value)) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    userOffset_.store(value);
    return SVK_OK;
}

int Session::setNodeEnum(const char* node, const char* entry) {
    if (entry == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (nodeIs(node, "ImageColorPalette")) {
        for (int i = 0; i < kCameraPaletteCount; ++i) {
            if (std::strcmp(entry, kCameraPaletteNames[i]) == 0) {
                palette_.store(i);
                return SVK_OK;
            }
        }
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (nodeIs(node, "NUCMode")) {
        for (const char* mode : kNucModes) {
            if (std::strcmp(entry, mode) == 0) {
                std::lock_guard<std::mutex> lock(nodeMutex_);
                nucMode_ = mode;
                return SVK_OK;
            }
        }
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    return SVK_ERROR_UNKNOWN_NODE;
}

int Session::setNodeCommand(const char* node) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    // The shutter closes for about half a second: the picture goes flat.
    flatUntilSeconds_.store(library_.secondsSinceInit() + 0.5);
    return SVK_OK;
}

} // namespace calidra::simulator
