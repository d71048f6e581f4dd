#include "simulated_camera.h"

#include "camera_picture.h"
#include "camera_records.h"
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace calidra::simulator {

using sorvik::nodeIs;

// ---------------------------------------------------------------------------
// SimulatorProvider

SimulatorProvider::SimulatorProvider(Scenario scenario, SceneClock& clock) : clock_(clock) {
    for (std::size_t i = 0; i < scenario.cameras.size(); ++i) {
        Device device;
        device.scenario = std::move(scenario.cameras[i]);
        device.openKey = "sim:" + std::to_string(i) + ":" + device.scenario.identity;
        device.attached = device.scenario.present;
        for (const Event& event : device.scenario.events) {
            if (event.stallSeconds > 0.0) {
                device.stalls.emplace_back(event.atSeconds, event.atSeconds + event.stallSeconds);
            }
        }
        drifts_.push_back(device.scenario.drift ? std::make_shared<CameraDrift>(*device.scenario.drift)
                                                : nullptr);
        devices_.push_back(std::move(device));
    }
}

SimulatorProvider::~SimulatorProvider() {
    stop();
}

int SimulatorProvider::start(sorvik::ProviderEvents& events) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = &events;
    start_ = clock_.now();
    // The truth log: what the scenes held, beside what the cameras reported.
    std::vector<TruthLog::Camera> truthCameras;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        truthCameras.push_back({devices_[i].scenario, drifts_[i]});
    }
    std::string error;
    if (!TruthLog::startIfAsked(std::move(truthCameras), clock_, start_, truth_, error)) {
        std::fprintf(stderr, "svkInit: %s\n", error.c_str());
        return SVK_ERROR_SCENARIO;
    }
    stopEvents_ = false;
    eventThread_ = std::thread([this] { runEvents(); });
    return SVK_OK;
}

void SimulatorProvider::stop() {
    std::vector<std::weak_ptr<Session>> sessions;
    std::thread events;
    std::unique_ptr<TruthLog> truth;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopEvents_ = true;
        sessions.swap(sessions_);
        events = std::move(eventThread_);
        truth.swap(truth_);
    }
    truth.reset();
    eventWake_.notify_all();
    if (events.joinable()) {
        if (events.get_id() == std::this_thread::get_id()) {
            events.detach();
        } else {
            events.join();
        }
    }
    for (auto& weak : sessions) {
        if (auto session = weak.lock()) {
            session->close();
        }
    }
}

int SimulatorProvider::listCameras(std::vector<sorvik::CameraListing>& cameras) {
    std::lock_guard<std::mutex> lock(mutex_);
    int result = SVK_OK;
    for (const Device& device : devices_) {
        if (!device.attached) {
            continue;
        }
        if (device.scenario.infoResult != 0 && result == SVK_OK) {
            result = device.scenario.infoResult;
        }
        sorvik::CameraListing listing;
        listing.label = device.scenario.label;
        listing.kind = device.scenario.kind;
        listing.model = device.scenario.model;
        listing.identity = device.scenario.identity;
        listing.openKey = device.openKey;
        cameras.push_back(std::move(listing));
    }
    return result;
}

int SimulatorProvider::open(const std::string& openKey, std::shared_ptr<sorvik::CameraSession>& session) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        Device& device = devices_[i];
        if (!device.attached || device.openKey != openKey) {
            continue;
        }
        if (device.scenario.openResult != 0) {
            return device.scenario.openResult;
        }
        sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                       [](const std::weak_ptr<Session>& weak) { return weak.expired(); }),
                        sessions_.end());
        for (const auto& weak : sessions_) {
            auto live = weak.lock();
            if (live && live->deviceIndex() == i && live->generation() == device.attachGeneration &&
                !live->closed()) {
                return SVK_ERROR_ACCESS; // one live session per camera
            }
        }
        auto created = std::make_shared<Session>(*this, i, device.attachGeneration, device.scenario);
        sessions_.push_back(created);
        session = std::move(created);
        return SVK_OK;
    }
    return SVK_ERROR_NOT_FOUND;
}

double SimulatorProvider::secondsSinceStart() const {
    return std::chrono::duration<double>(clock_.now() - start_).count();
}

bool SimulatorProvider::deviceUsable(std::size_t deviceIndex, uint64_t generation) {
    std::lock_guard<std::mutex> lock(mutex_);
    return deviceIndex < devices_.size() && devices_[deviceIndex].attached &&
           devices_[deviceIndex].attachGeneration == generation;
}

bool SimulatorProvider::stalled(std::size_t deviceIndex, double seconds) {
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

void SimulatorProvider::runEvents() {
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
        sorvik::ProviderEvents* events = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const auto due = start_ + std::chrono::duration_cast<SceneClock::TimePoint::duration>(
                                          std::chrono::duration<double>(timed.atSeconds));
            if (clock_.waitUntil(lock, eventWake_, due, stopEvents_)) {
                return;
            }
            events = events_;
            Device& device = devices_[timed.device];
            if (timed.event.unplug && device.attached) {
                for (const auto& weak : sessions_) {
                    auto session = weak.lock();
                    if (session && session->deviceIndex() == timed.device &&
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
        events->deviceChecked(timed.event.unplug ? 1 : 0);
    }
}

// ---------------------------------------------------------------------------
// Session

Session::Session(SimulatorProvider& provider, std::size_t deviceIndex, uint64_t generation,
                 const CameraScenario& scenario)
    : provider_(provider), deviceIndex_(deviceIndex), generation_(generation), scenario_(scenario),
      drift_(provider.drift(deviceIndex)),
      nodes_(/*keepsNucSettings=*/true, /*keepsUserOffset=*/scenario.offsetNode, scenario.userOffset) {
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
    close();
}

bool Session::closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void Session::close() {
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
    return provider_.deviceUsable(deviceIndex_, generation_);
}

void Session::runFrames() {
    SceneClock& clock = provider_.clock();
    const auto period = std::chrono::duration_cast<SceneClock::TimePoint::duration>(
        std::chrono::duration<double>(1.0 / scenario_.fps));
    auto next = clock.now() + period;
    uint64_t seenStarts = 0;
    std::size_t replayFrame = 0;
    for (;;) {
        SvkFrameCallback callback;
        void* context;
        bool acquiring;
        uint64_t starts;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (clock.waitUntil(lock, wake_, next, stopping_)) {
                return;
            }
            callback = frameCallback_;
            context = frameContext_;
            acquiring = acquiring_;
            starts = acquisitionStarts_;
        }
        next += period;
        const auto now = clock.now();
        if (next < now) {
            next = now; // a slow consumer delays frames instead of getting a burst
        }
        if (!acquiring || !usable()) {
            continue;
        }
        const double seconds = provider_.secondsSinceStart();
        if (provider_.stalled(deviceIndex_, seconds)) {
            continue;
        }
        if (starts != seenStarts) {
            seenStarts = starts;
            replayFrame = 0; // replay starts from the first frame at every acquisition start
        }
        // Codes on the offset scale first, then laid out in the pixel format.
        const std::size_t pixelCount = std::size_t(scenario_.width) * std::size_t(scenario_.height);
        // The picture handed out last frame comes back here: no allocation per frame.
        std::vector<uint16_t>& codes = frameCodes_;
        codes.resize(pixelCount);
        const double offset = nodes_.userOffset();
        const CameraReading reading =
            drift_ ? drift_->reading(offset, seconds) : CameraReading{offset, 0.0, 1.0};
        bool drawn = false;
        if (seconds < flatUntilSeconds_.load() || (drift_ && drift_->shutterClosed(seconds))) {
            const double ambient = scenario_.ambientCelsius;
            std::fill(codes.begin(), codes.end(), offsetCode(reading.reported(ambient, ambient)));
        } else if (scenario_.replayFrameCount > 0) {
            // A file cut short since svkInit shows the background instead.
            if (!scenario_.replay->readFrame(replayFrame, codes)) {
                std::fill(codes.begin(), codes.end(), offsetCode(scenario_.ambientCelsius));
            }
            const long shift = std::lround(offset * 10.0);
            for (std::size_t i = 0; i < pixelCount && !drift_; ++i) {
                codes[i] = uint16_t(std::clamp(long(codes[i]) + shift, 0L, 65535L));
            }
            if (drift_) {
                applyReading(reading, scenario_.ambientCelsius, codes.data(), pixelCount);
            }
            replayFrame = (replayFrame + 1) % scenario_.replayFrameCount;
        } else {
            sceneDrawer_.draw(scenario_, reading, seconds, frameIndex_, codes);
            drawn = true;
        }
        ++frameIndex_;
        layoutFramePixels(codes.data(), pixelCount, pixelFormat_.load(), pixels_);
        {
            std::lock_guard<std::mutex> lock(latestMutex_);
            latestCodes_.swap(codes);
            latestDrawn_ = drawn;
            if (drawn) {
                latestLayout_ = sceneDrawer_.layout();
            }
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
    if (latestDrawn_) {
        pictureRenderer_.render(latestLayout_, width, height, nodes_.palette(), buffer);
        return SVK_OK;
    }
    CodePlane plane;
    plane.codes = latestCodes_.data();
    renderCameraPicture(plane, width, height, nodes_.palette(), buffer);
    return SVK_OK;
}

int Session::nodeInfo(const char* node, SvkNodeInfo* info) {
    if (info == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (const int result = nodes_.info(node, *info); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    sorvik::describeLibraryNode(*info);
    return SVK_OK;
}

int Session::nodeEnum(const char* node, SvkEnumRecord* record) {
    if (record == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return nodes_.enumeration(node, *record);
}

int Session::nodeFloat(const char* node, SvkFloatRecord* record) {
    if (record == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return nodes_.floatValue(node, *record);
}

int Session::setNodeInt(const char* node, int value) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return nodes_.setInt(node, value);
}

int Session::setNodeFloat(const char* node, double value) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return nodes_.setFloat(node, value);
}

int Session::setNodeEnum(const char* node, const char* entry) {
    if (entry == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return nodes_.setEnum(node, entry);
}

int Session::setNodeCommand(const char* node) {
    if (!usable()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    // The shutter closes for about half a second: the picture goes flat.
    flatUntilSeconds_.store(provider_.secondsSinceStart() + 0.5);
    if (drift_) {
        drift_->shutterCycle(provider_.secondsSinceStart());
    }
    return SVK_OK;
}

} // namespace calidra::simulator
