#pragma once
// One open GenICam camera: its Aravis device and stream, the conversion of
// its counts into temperature codes, and the nodes the library keeps itself
// ("UserCompensationParaB", "ImageColorPalette", "NUCManualRun").
// Everything said to the camera goes through the session's exchange thread:
// a caller waits at most the answer wait (a second by default) for the
// camera's answer, and is answered at once while an earlier exchange is
// still unanswered.

#include "camera_provider.h"
#include "genicam_exchange_thread.h"
#include "incomplete_frame_report.h"
#include "kept_nodes.h"
#include "library_configuration.h"
#include "thermal_conversion.h"

#include <arv.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calidra::sorvik {

class GenicamProvider;

class GenicamSession : public CameraSession, public std::enable_shared_from_this<GenicamSession> {
public:
    GenicamSession(GenicamProvider& provider, std::string address, std::string serial, uint64_t generation,
                   GenicamProfile profile, std::chrono::milliseconds answerWait);
    ~GenicamSession() override;

    // Opens the device, takes control of it and writes the profile's features.
    int connect(GInetAddress* interfaceAddress, GInetAddress* deviceAddress);

    const std::string& address() const { return address_; }
    uint64_t generation() const { return generation_; }
    bool closed() const { return closed_.load(); }
    bool controlLost() const { return controlLink_->lost.load(); }
    bool gone() const { return gone_.load(); }
    // Closed, and its camera let go of: nothing of it runs any more.
    bool settled() const { return closed_.load() && exchanges_.idle(); }

    // The camera went away: later calls fail, the unplug callback fires,
    // once, on the calling thread, and the camera is let go of.
    void markGone();

    void close() override;
    int setFrameCallback(SvkFrameCallback callback, void* context) override;
    int setUnplugCallback(SvkUnplugCallback callback, void* context) override;
    int setAcquisition(int enable) override;
    int imageSize(SvkImageSize* size) override;
    int setPixelFormat(int format) override;
    int pixelFormat(int* format) override;
    int rgbData(unsigned char* buffer, int bytes) override;
    int nodeInfo(const char* node, SvkNodeInfo* info) override;
    int nodeEnum(const char* node, SvkEnumRecord* record) override;
    int nodeFloat(const char* node, SvkFloatRecord* record) override;
    int setNodeInt(const char* node, int value) override;
    int setNodeFloat(const char* node, double value) override;
    int setNodeEnum(const char* node, const char* entry) override;
    int setNodeCommand(const char* node) override;

private:
    // What Aravis's heartbeat thread may touch: it can outlive neither the
    // provider nor this flag, whatever happens to the session meanwhile.
    struct ControlLink {
        std::atomic<bool> lost{false};
        GenicamProvider* provider = nullptr;
    };

    static void onStreamEvent(void* data, ArvStreamCallbackType type, ArvBuffer* buffer);
    static void onControlLost(ArvDevice* device, gpointer data);

    void deliver();
    // SVK_OK while the camera can be used, else why not.
    int usable() const;
    // Runs an exchange with the camera on the exchange thread and waits for it
    // a bounded time; late runs there after one its caller stopped waiting for.
    int ask(std::function<int()> exchange, std::function<void(int)> late = {});
    // What an exchange answers once the camera has been let go of.
    int noCamera() const;
    int startStream();
    // Stops the frames at once and tells the camera; no frame callback runs
    // after it returns (unless called from one).
    int stopStream();
    // Exchange thread only, like every use of device_ and camera_ after connect.
    int startOnCamera();
    int haltCamera();
    void dropStream();
    void releaseCamera();
    bool onStreamThread() const { return streamThread_.load() == std::this_thread::get_id(); }
    // The contract's code for a failed feature call.
    int featureFailure(const char* node, GError* error);
    // Takes the error; true when the camera did not answer at all.
    bool noteFailure(GError* error);
    void printStatistics();

    GenicamProvider& provider_;
    const std::string address_;
    const std::string serial_;
    const uint64_t generation_;
    const GenicamProfile profile_;
    const std::chrono::milliseconds answerWait_;

    std::shared_ptr<ControlLink> controlLink_;
    // Palette and offset; the NUC settings are the camera's own.
    KeptNodes nodes_;

    std::mutex mutex_; // callbacks and the stream
    ArvDevice* device_ = nullptr;
    ArvCamera* camera_ = nullptr;
    ArvStream* stream_ = nullptr;
    gulong controlLostHandler_ = 0;
    bool unplugFired_ = false;
    SvkFrameCallback frameCallback_ = nullptr;
    void* frameContext_ = nullptr;
    SvkUnplugCallback unplugCallback_ = nullptr;
    void* unplugContext_ = nullptr;

    std::mutex callbackMutex_; // held while a frame is handed to the callback

    std::atomic<bool> connected_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> acquiring_{false};
    std::atomic<std::thread::id> streamThread_{};
    std::atomic<int> pixelFormat_{SVK_PIXEL_FORMAT_RGB_CODE32};
    std::atomic<uint64_t> deliveredFrames_{0};
    std::atomic<uint64_t> droppedFrames_{0};

    // Two frames in turn, sized at each acquisition start: the callback gets
    // one while the picture (svkGetRGBData) is drawn from the newest.
    std::mutex latestMutex_;
    std::vector<uint32_t> frames_[2];
    int latestFrame_ = -1;
    int latestFormat_ = SVK_PIXEL_FORMAT_RGB_CODE32;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    int nextFrame_ = 0;    // stream thread only
    std::mutex lossMutex_; // the stream thread counts, a node call reads
    IncompleteFrameReport lossReport_;

    // Last: it ends first, before anything its exchanges use.
    GenicamExchangeThread exchanges_;
};

} // namespace calidra::sorvik
