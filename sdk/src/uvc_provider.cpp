#include "uvc_provider.h"

#include "uvc_device_choice.h"
#include "uvc_session.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace calidra::sorvik {

namespace {

constexpr int kRecheckIntervalMs = 2000;
// How long a removal waits for the unplug callback of an open camera before
// device-check "removed" fires: a frame callback in progress finishes first.
constexpr int kUnplugDeliveryMs = 5000;

std::atomic<uvc::DeviceSystem*> chosenSystem{nullptr};
std::atomic<int> chosenIntervalMs{kRecheckIntervalMs};

// The capture sessions' problems (a refused stream, frames that are not
// temperatures): one line each on stderr, as the library's other reports.
void reportLine(const std::string& line) {
    std::fprintf(stderr, "SorvikC: %s\n", line.c_str());
}

} // namespace

void useUvcDeviceSystem(uvc::DeviceSystem* system, int recheckIntervalMs) {
    chosenSystem.store(system);
    chosenIntervalMs.store(recheckIntervalMs > 0 ? recheckIntervalMs : kRecheckIntervalMs);
}

uvc::DeviceSystem* chosenUvcDeviceSystem() {
    return chosenSystem.load();
}

int chosenUvcRecheckIntervalMs() {
    return chosenIntervalMs.load();
}

UvcProvider::UvcProvider(UvcConfiguration configuration, uvc::DeviceSystem* system, int recheckIntervalMs)
    : configuration_(std::move(configuration)), recheckIntervalMs_(recheckIntervalMs), system_(system) {
    if (system_ == nullptr) {
        ownSystem_ = uvc::makeV4l2DeviceSystem();
        system_ = ownSystem_.get();
    }
}

UvcProvider::~UvcProvider() {
    stop();
}

int UvcProvider::start(ProviderEvents& events) {
    events_ = &events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    uvc::WatchOptions options;
    options.devices = configuration_.devices;
    options.discover = configuration_.discover;
    options.intervalMs = recheckIntervalMs_;
    watcher_ = std::make_unique<uvc::DeviceWatcher>(
        *system_, std::move(options), [this](uvc::DeviceChange change, const uvc::DiscoveredCamera& camera) {
            deviceChanged(change, camera);
        });
    // The first look is on this thread: local nodes answer at once, and the
    // cameras there now are listed from the first svkGetCameraCount on.
    watcher_->start();
    return SVK_OK;
}

void UvcProvider::stop() {
    std::vector<std::weak_ptr<UvcSession>> sessions;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        sessions.swap(sessions_);
    }
    if (watcher_) {
        watcher_->stop();
    }
    for (auto& weak : sessions) {
        if (auto session = weak.lock()) {
            session->close();
        }
    }
}

void UvcProvider::deviceChanged(uvc::DeviceChange change, const uvc::DiscoveredCamera& camera) {
    if (change == uvc::DeviceChange::Removed) {
        std::vector<std::shared_ptr<UvcSession>> unplugged;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& weak : sessions_) {
                auto session = weak.lock();
                if (session && !session->closed() && session->camera() == camera) {
                    unplugged.push_back(std::move(session));
                }
            }
        }
        // The station hears "unplugged" before "removed", as from the other cameras.
        for (const auto& session : unplugged) {
            session->deviceRemoved(kUnplugDeliveryMs);
        }
    }
    events_->deviceChecked(change == uvc::DeviceChange::Added ? 0 : 1);
}

int UvcProvider::listCameras(std::vector<CameraListing>& cameras) {
    if (!watcher_) {
        return SVK_OK;
    }
    for (const uvc::DiscoveredCamera& camera : watcher_->cameras()) {
        CameraListing listing;
        listing.label = camera.identity.card;
        // Only a camera with a profile can be read as temperatures.
        listing.kind = camera.profile != nullptr ? 2 : 0;
        listing.model = camera.model();
        listing.identity = camera.identityText();
        listing.openKey = kOpenKeyPrefix + listing.identity;
        cameras.push_back(std::move(listing));
    }
    return SVK_OK;
}

int UvcProvider::open(const std::string& openKey, std::shared_ptr<CameraSession>& session) {
    const std::string prefix = kOpenKeyPrefix;
    if (openKey.compare(0, prefix.size(), prefix) != 0) {
        return SVK_ERROR_NOT_FOUND;
    }
    const std::string identity = openKey.substr(prefix.size());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || !watcher_) {
            return SVK_ERROR_NOT_INITIALIZED;
        }
        for (const auto& weak : sessions_) {
            auto live = weak.lock();
            if (live && !live->closed() && !live->unplugged() && live->identity() == identity) {
                return SVK_ERROR_ACCESS; // one live session per camera
            }
        }
    }
    // Looked up now, not when listed: a camera plugged in again has another node.
    const std::vector<uvc::DiscoveredCamera> cameras = watcher_->cameras();
    auto camera = std::find_if(cameras.begin(), cameras.end(),
                               [&](const uvc::DiscoveredCamera& c) { return c.identityText() == identity; });
    if (camera == cameras.end()) {
        return SVK_ERROR_NOT_FOUND;
    }
    if (camera->profile == nullptr) {
        return SVK_ERROR_ACCESS; // no profile says how to read its pixels
    }
    int result = SVK_OK;
    std::shared_ptr<UvcSession> created = UvcSession::open(*system_, *camera, &reportLine, result);
    if (!created) {
        std::fprintf(stderr, "svkOpen: USB camera %s at %s cannot be used (error %d)\n", identity.c_str(),
                     camera->path.c_str(), result);
        return result != SVK_OK ? result : SVK_ERROR_ACCESS;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopping_) {
            sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                           [](const auto& weak) { return weak.expired(); }),
                            sessions_.end());
            sessions_.push_back(created);
            session = std::move(created);
            return SVK_OK;
        }
    }
    created->close(); // shut down while opening
    return SVK_ERROR_NOT_INITIALIZED;
}

} // namespace calidra::sorvik
