#include "device_watcher.h"

#include <algorithm>
#include <chrono>

namespace calidra::uvc {

namespace {

bool contains(const std::vector<DiscoveredCamera>& cameras, const DiscoveredCamera& camera) {
    return std::find(cameras.begin(), cameras.end(), camera) != cameras.end();
}

} // namespace

DeviceWatcher::DeviceWatcher(DeviceSystem& system, WatchOptions options, ChangeCallback onChange)
    : system_(system), options_(std::move(options)), onChange_(std::move(onChange)) {}

DeviceWatcher::~DeviceWatcher() {
    stop();
}

void DeviceWatcher::start() {
    std::vector<DiscoveredCamera> found = scan();
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) {
        return;
    }
    cameras_ = std::move(found);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void DeviceWatcher::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<DiscoveredCamera> DeviceWatcher::cameras() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cameras_;
}

std::vector<DiscoveredCamera> DeviceWatcher::scan() {
    std::vector<std::string> paths = options_.devices;
    if (options_.discover) {
        // Only nodes with a known camera's USB ids are opened.
        for (const DeviceEntry& entry : system_.listDevices()) {
            if (profileForUsbId(entry.vendorId, entry.productId) != nullptr &&
                std::find(paths.begin(), paths.end(), entry.path) == paths.end()) {
                paths.push_back(entry.path);
            }
        }
    }
    std::vector<DiscoveredCamera> found;
    for (const std::string& path : paths) {
        DiscoveredCamera camera;
        DeviceResult result;
        if (!probeCamera(system_, path, camera, result)) {
            continue; // not there (now)
        }
        const bool configured =
            std::find(options_.devices.begin(), options_.devices.end(), path) != options_.devices.end();
        if (camera.profile != nullptr || (configured && camera.identity.canCapture)) {
            found.push_back(std::move(camera));
        }
    }
    return found;
}

void DeviceWatcher::run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_for(lock, std::chrono::milliseconds(options_.intervalMs),
                               [this] { return stopping_; })) {
                return;
            }
        }
        std::vector<DiscoveredCamera> found = scan();
        std::vector<DiscoveredCamera> previous;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                return;
            }
            previous.swap(cameras_);
            cameras_ = found;
        }
        for (const DiscoveredCamera& camera : previous) {
            if (!contains(found, camera) && onChange_) {
                onChange_(DeviceChange::Removed, camera);
            }
        }
        for (const DiscoveredCamera& camera : found) {
            if (!contains(previous, camera) && onChange_) {
                onChange_(DeviceChange::Added, camera);
            }
        }
    }
}

} // namespace calidra::uvc
