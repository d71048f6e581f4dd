#pragma once
// Keeps the list of USB cameras current: the configured nodes and, when asked,
// every /dev/video* whose USB ids match a profile, re-checked on a worker
// thread so plugging and unplugging are noticed.

#include "camera_probe.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calidra::uvc {

struct WatchOptions {
    std::vector<std::string> devices; // nodes named in the configuration
    bool discover = false;            // also every node whose USB ids match a profile
    int intervalMs = 2000;
};

enum class DeviceChange { Added, Removed };

class DeviceWatcher {
public:
    // Called on the watcher's thread, never while it holds its lock.
    using ChangeCallback = std::function<void(DeviceChange change, const DiscoveredCamera& camera)>;

    DeviceWatcher(DeviceSystem& system, WatchOptions options, ChangeCallback onChange);
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Scans once on the caller's thread (no change is reported for what is
    // there already), then re-checks every intervalMs on its own thread.
    void start();
    // Joins the thread: no change callback runs after it returns (so not to
    // be called from a change callback).
    void stop();

    // The cameras of the last scan: recognised ones with a profile, and
    // configured nodes no profile fits (profile null).
    std::vector<DiscoveredCamera> cameras() const;

private:
    std::vector<DiscoveredCamera> scan();
    void run();

    DeviceSystem& system_;
    const WatchOptions options_;
    const ChangeCallback onChange_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::vector<DiscoveredCamera> cameras_;
    std::thread thread_;
};

} // namespace calidra::uvc
