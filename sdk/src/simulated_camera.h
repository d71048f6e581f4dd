#pragma once
// The simulated camera library: attached cameras, open sessions with their
// frame threads, and the scenario's timeline of plug, unplug and stall events.

#include "scenario.h"
#include "svk.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace calidra::simulator {

class Session;

// One camera of the scenario, attached or not.
struct Device {
    CameraScenario scenario;
    std::string openKey;
    bool attached = false;
    uint64_t attachGeneration = 0; // changes at every unplug: sessions of older generations are stale
    std::vector<std::pair<double, double>> stalls; // [from, to) seconds since init
};

class Library {
public:
    static Library& instance();

    int init();
    int uninit();
    int cameraCount(int* count);
    int cameraInfo(SvkCameraInfo* records, int count);
    int open(const char* openKey, SvkHandle* handle);
    int close(SvkHandle handle);
    int setDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context);

    // The live session behind a handle, or null.
    std::shared_ptr<Session> session(SvkHandle handle);

    double secondsSinceInit() const;
    bool deviceUsable(std::size_t deviceIndex, uint64_t generation);
    bool stalled(std::size_t deviceIndex, double seconds);

private:
    void runEvents();
    void fireDeviceCheck(int state);

    std::mutex mutex_;
    bool initialized_ = false;
    std::chrono::steady_clock::time_point start_;
    std::vector<Device> devices_;
    std::vector<std::shared_ptr<Session>> sessions_;
    SvkDeviceCheckCallback deviceCheck_ = nullptr;
    void* deviceCheckContext_ = nullptr;
    std::thread eventThread_;
    std::condition_variable eventWake_;
    bool stopEvents_ = false;
    uintptr_t nextHandle_ = 0x5100;
};

// An open camera: settings, callbacks and the frame thread.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(Library& library, std::size_t deviceIndex, uint64_t generation, const CameraScenario& scenario,
            SvkHandle handle);
    ~Session();

    SvkHandle handle() const { return handle_; }
    std::size_t deviceIndex() const { return deviceIndex_; }
    uint64_t generation() const { return generation_; }

    // Stops the frame thread; returns after its last callback has returned.
    // Called from that very callback, it cannot wait for itself: the thread
    // then keeps the session alive until it has left the session's code.
    void stop();

    int setFrameCallback(SvkFrameCallback callback, void* context);
    int setUnplugCallback(SvkUnplugCallback callback, void* context);
    void fireUnplug();
    int setAcquisition(int enable);
    int imageSize(SvkImageSize* size);
    int setPixelFormat(int format);
    int pixelFormat(int* format);
    int rgbData(unsigned char* buffer, int bytes);
    int nodeInfo(const char* node, SvkNodeInfo* info);
    int nodeEnum(const char* node, SvkEnumRecord* record);
    int nodeFloat(const char* node, SvkFloatRecord* record);
    int setNodeInt(const char* node, int value);
    int setNodeFloat(const char* node, double value);
    int setNodeEnum(const char* node, const char* entry);
    int setNodeCommand(const char* node);

private:
    void runFrames();
    void produceFrame(double seconds);
    bool usable();

    Library& library_;
    const std::size_t deviceIndex_;
    const uint64_t generation_;
    const CameraScenario scenario_;
    const SvkHandle handle_;

    std::mutex mutex_; // callbacks, acquisition state
    std::condition_variable wake_;
    bool stopping_ = false;
    std::shared_ptr<Session> keepAlive_; // set when stopped from its own frame thread
    bool acquiring_ = false;
    uint64_t acquisitionStarts_ = 0;
    SvkFrameCallback frameCallback_ = nullptr;
    void* frameContext_ = nullptr;
    SvkUnplugCallback unplugCallback_ = nullptr;
    void* unplugContext_ = nullptr;

    std::atomic<int> pixelFormat_{SVK_PIXEL_FORMAT_RGB_CODE32};
    std::atomic<int> palette_{0};
    std::atomic<double> userOffset_;
    std::atomic<double> flatUntilSeconds_{-1.0};
    std::mutex nodeMutex_;
    std::string nucMode_ = "Auto";
    int nucPeriodicTime_ = 0;
    int nucTemperature_ = 0;

    std::mutex latestMutex_;            // the latest frame's temperatures, for the RGB rendering
    std::vector<uint16_t> latestCodes_; // offset scale

    std::vector<float> temperatures_; // frame thread only
    std::vector<uint8_t> pixels_;     // frame thread only
    uint64_t frameIndex_ = 0;
    std::thread thread_;
};

} // namespace calidra::simulator
