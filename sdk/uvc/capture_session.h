#pragma once
// An open USB camera: its stream and the capture thread that decodes each
// buffer and hands it to the session's owner.

#include "camera_probe.h"
#include "svk.h"
#include "thermal_decoder.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calidra::uvc {

// Where a capture session's frames and unplug go: its owner, who keeps the
// callbacks, the pixel format and the newest frame. Called on the capture thread.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // The SVK_PIXEL_FORMAT_ code frames are decoded into.
    virtual int frameFormat() const = 0;
    // A frame's offset-scale codes (width x height), before it is delivered; taken by swapping,
    // codes comes back with room for another frame's or empty.
    virtual void keepCodes(std::vector<uint16_t>& codes) = 0;
    virtual void frameDecoded(const void* data, uint32_t width, uint32_t height) = 0;
    // Once per session, unless it was closed first.
    virtual void cameraGone() = 0;
};

class CaptureSession : public std::enable_shared_from_this<CaptureSession> {
public:
    // Where the session's problems go, one line each (called on the capture thread).
    using ReportSink = std::function<void(const std::string& line)>;

    // Opens a camera found by probeCamera or the watcher: sets its stream and
    // frame rate, maps its buffers and starts the capture thread (frames are
    // delivered to sink once acquisition is on; sink outlives the session's
    // thread or closes the session first). result is an SVK_ code.
    static std::shared_ptr<CaptureSession> open(DeviceSystem& system, const DiscoveredCamera& camera,
                                                CaptureSink& sink, ReportSink report, int& result);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Stops the capture thread: no callback runs after it returns. Called from
    // the session's own callback it cannot wait for itself; that callback is
    // then the last one. The running thread holds a reference to its session,
    // so the owner closes it before letting go.
    void close();

    const DiscoveredCamera& camera() const { return camera_; }
    uint32_t width() const { return camera_.mode.countsWidth; }
    uint32_t height() const { return camera_.mode.countsHeight; }

    // The operations below return SVK_ codes.
    int setAcquisition(bool enable);
    // "UserCompensationParaB": degrees added to every temperature in the conversion.
    int setUserOffset(double celsius);
    double userOffset() const { return userOffset_.load(); }
    bool hasFlatFieldCorrection() const { return camera_.profile->flatFieldCorrection.has_value(); }
    // "NUCManualRun": SVK_ERROR_UNKNOWN_NODE for a camera without a known command.
    int runFlatFieldCorrection();

    // Tells the session its device has gone (a watcher saw it leave). The
    // unplug callback fires once per session, always on the capture thread,
    // whether the watcher or the stream noticed first.
    void deviceRemoved();
    bool unplugged() const { return unplugged_.load(); }
    // Waits until the unplug callback has returned (or will never run: the
    // capture thread has ended); false when timeoutMs passed first. Not to be
    // called from the session's own callbacks.
    bool waitForUnplugDelivered(int timeoutMs);

    uint64_t deliveredFrames() const { return delivered_.load(); }
    uint64_t refusedFrames() const { return refused_.load(); }
    uint64_t incompleteFrames() const { return incomplete_.load(); }

private:
    CaptureSession(std::unique_ptr<VideoDevice> device, const DiscoveredCamera& camera, CaptureSink& sink,
                   ReportSink report);
    int prepare();
    void run();
    bool startStream();
    void stopStream();
    // Decodes one buffer into frame_; false when the frame is not delivered.
    bool decode(const DequeuedBuffer& buffer);
    void report(const std::string& line);
    void fireUnplug();

    std::unique_ptr<VideoDevice> device_;
    const DiscoveredCamera camera_;
    CaptureSink& sink_;
    const ReportSink report_;
    ActiveFormat format_;
    uint32_t bufferCount_ = 0;

    mutable std::mutex mutex_; // the acquisition / stop requests
    std::condition_variable wake_;
    bool stopping_ = false;
    bool acquiring_ = false;
    bool removed_ = false;
    bool unplugDelivered_ = false; // the unplug callback returned, or was skipped by a close
    bool finished_ = false;        // the capture thread left its loop
    std::mutex threadMutex_;       // joining or detaching the capture thread
    std::thread thread_;

    std::mutex controlMutex_; // control requests from the caller's thread
    std::atomic<double> userOffset_{0.0};
    std::atomic<bool> unplugged_{false};
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> incomplete_{0};

    // Capture thread only.
    bool streaming_ = false;
    bool refusalReported_ = false;
    std::vector<uint8_t> frame_;
    std::vector<uint16_t> workingCodes_;
};

} // namespace calidra::uvc
