#pragma once
// The frames of one GenICam camera: its Aravis stream and the thread Aravis
// runs it on, the conversion of each frame's counts into the pixel format, and
// handing frames out through the session's frame outlet.

#include "frame_outlet.h"
#include "gobject_handle.h"
#include "incomplete_frame_report.h"
#include "kept_nodes.h"

#include <arv.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calidra::sorvik {

class GenicamStream {
public:
    // cameraName ("<serial> at <address>") names the camera in what is told on stderr; the offset
    // of the conversion is read from nodes.
    GenicamStream(FrameOutlet& frames, const KeptNodes& nodes, double kelvinPerCount, std::string cameraName);

    // Exchange thread: a new stream from the camera, for frames of width x height in buffers of
    // payload bytes; false when Aravis made none.
    bool open(ArvCamera* camera, int width, int height, guint payload);
    // Exchange thread: lets go of the stream, which joins its thread and resets the camera's
    // stream channel.
    void drop() { take().reset(); }
    GObjectHandle<ArvStream> take();

    bool acquiring() const { return acquiring_.load(); }
    void setAcquiring(bool acquiring) { acquiring_.store(acquiring); }
    // No frame is handed out from now on but one being handed out now; for good once the session
    // is closed or its camera gone.
    void stop(bool forGood = false);
    // Returns once a frame being handed out has been (at once on the stream thread itself).
    void waitForDelivery();
    bool onStreamThread() const { return streamThread_.load() == std::this_thread::get_id(); }

    double droppedInLastMinute();
    void printStatistics() const;

private:
    static void onStreamEvent(void* data, ArvStreamCallbackType type, ArvBuffer* buffer);
    void deliver();
    // Converts the counts into the pixel format and hands the frame out; under deliveryMutex_.
    void handOut(const uint16_t* counts);

    FrameOutlet& frames_;
    const KeptNodes& nodes_;
    const double kelvinPerCount_;
    const std::string cameraName_;

    std::mutex mutex_; // the stream
    GObjectHandle<ArvStream> stream_;
    std::mutex deliveryMutex_; // held while a frame is handed to the callback

    std::atomic<bool> acquiring_{false};
    std::atomic<bool> ended_{false};
    std::atomic<std::thread::id> streamThread_{};
    std::atomic<uint64_t> deliveredFrames_{0};
    std::atomic<uint64_t> droppedFrames_{0};
    std::mutex lossMutex_; // the stream thread counts, a node call reads
    IncompleteFrameReport lossReport_;

    // Fixed while a stream runs: set before it starts.
    int width_ = 0;
    int height_ = 0;
    // Stream thread only: the frame being filled; the outlet keeps the one handed out before.
    std::vector<uint16_t> frame_;
};

} // namespace calidra::sorvik
