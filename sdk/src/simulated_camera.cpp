#include "simulated_camera.h"

#include "camera_picture.h"
#include "camera_records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace calidra::simulator {

using sorvik::layoutFramePixels;
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
    : SessionCore(/*keepsNucSettings=*/true, /*keepsUserOffset=*/scenario.offsetNode, scenario.userOffset),
      provider_(provider), deviceIndex_(deviceIndex), generation_(generation), scenario_(scenario),
      drift_(provider.drift(deviceIndex)) {
    frames().setFrameSize(std::size_t(scenario.width), std::size_t(scenario.height));
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

int Session::usable() const {
    return provider_.deviceUsable(deviceIndex_, generation_) ? SVK_OK : SVK_ERROR_DEVICE_GONE;
}

void Session::runFrames() {
    SceneClock& clock = provider_.clock();
    const auto period = std::chrono::duration_cast<SceneClock::TimePoint::duration>(
        std::chrono::duration<double>(1.0 / scenario_.fps));
    auto next = clock.now() + period;
    uint64_t seenStarts = 0;
    std::size_t replayFrame = 0;
    for (;;) {
        bool acquiring;
        uint64_t starts;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (clock.waitUntil(lock, wake_, next, stopping_)) {
                return;
            }
            acquiring = acquiring_;
            starts = acquisitionStarts_;
        }
        next += period;
        const auto now = clock.now();
        if (next < now) {
            next = now; // a slow consumer delays frames instead of getting a burst
        }
        if (!acquiring || usable() != SVK_OK) {
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
        const double offset = nodes().userOffset();
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
        layoutFramePixels(codes.data(), pixelCount, frames().format(), pixels_);
        frames().keep(codes, {}, [&] {
            latestDrawn_ = drawn;
            if (drawn) {
                latestLayout_ = sceneDrawer_.layout();
            }
        });
        frames().deliverFrame(pixels_.data(), uint32_t(scenario_.width), uint32_t(scenario_.height));
    }
}

int Session::setAcquisition(int enable) {
    if (const int result = usable(); result != SVK_OK) {
        return result;
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

int Session::frameSize(int& width, int& height) {
    width = scenario_.width;
    height = scenario_.height;
    return SVK_OK;
}

bool Session::drawPictureShortcut(std::size_t width, std::size_t height, int palette, unsigned char* bgr) {
    if (!latestDrawn_) {
        return false;
    }
    pictureRenderer_.render(latestLayout_, width, height, palette, bgr);
    return true;
}

int Session::cameraNodeInfo(const char* node, SvkNodeInfo& info) {
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    sorvik::describeLibraryNode(info);
    return SVK_OK;
}

int Session::runCameraCommand(const char* node) {
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
