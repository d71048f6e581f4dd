#pragma once
// The exchanges with one GenICam camera: its Aravis device and camera, taken
// control of at the open, and every feature read, write and command, each run
// on the exchange thread. A caller waits at most the answer wait (a second by
// default) for the camera's answer, and is answered at once while an earlier
// exchange is still unanswered.

#include "genicam_exchange_thread.h"
#include "gobject_handle.h"
#include "library_configuration.h"
#include "svk.h"

#include <arv.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace calidra::sorvik {

class GenicamProvider;

class GenicamControl {
public:
    // cameraName ("<serial> at <address>") names the camera in what is told on stderr.
    GenicamControl(GenicamProvider& provider, std::string cameraName, const GenicamProfile& profile,
                   std::chrono::milliseconds answerWait);

    // Opens the device, takes control of it and writes the profile's features.
    int connect(GInetAddress* interfaceAddress, GInetAddress* deviceAddress);

    bool connected() const { return connected_.load(); }
    bool closed() const { return closed_.load(); }
    // Exchanges answer from now on as for a closed handle; true when that was so already.
    bool markClosed() { return closed_.exchange(true); }
    bool gone() const { return gone_.load(); }
    void markGone() { gone_.store(true); }
    bool controlLost() const { return controlLink_->lost.load(); }
    // Nothing queued or running on the exchange thread.
    bool idle() const { return exchanges_.idle(); }
    // SVK_OK while the camera can be asked, else why not.
    int usable() const;

    // Runs an exchange with the camera on the exchange thread and waits for it
    // a bounded time; late runs there after one its caller stopped waiting for.
    int ask(std::function<int()> exchange, std::function<void(int)> late = {});
    // Queues work on the exchange thread, waited for by nobody.
    void post(std::function<void()> work) { exchanges_.post(std::move(work)); }
    // Runs work on the exchange thread and waits for it at most the answer wait, unless the camera
    // does not answer now; false when it was not run (to be posted instead).
    bool runWhileAnswering(const std::function<void()>& work);
    // Runs what is queued, then ends the exchange thread.
    void finish() { exchanges_.finish(); }

    // The node calls the library passes on to the camera, through ask.
    int frameSize(int& width, int& height);
    int featureInfo(const std::string& feature, SvkNodeInfo& info);
    int enumeration(const char* node, SvkEnumRecord& record);
    int floatValue(const char* node, SvkFloatRecord& record);
    int setInt(const char* node, int value);
    int setFloat(const char* node, double value);
    int setEnum(const char* node, const char* entry);
    int command(const std::string& command);

    // Exchange thread only, like every use of the device and camera after connect.
    ArvCamera* camera() const { return camera_.get(); }
    // What an exchange answers once the camera has been let go of.
    int noCamera() const;
    // The frame the camera sends now: SVK_ERROR_ACCESS when it cannot be taken (told on stderr).
    int frameLayout(int& width, int& height, guint& payload);
    int startAcquisition();
    int haltCamera();
    // Stops the camera's acquisition where it still answers, then lets go of the stream (joining
    // its thread), the camera and the device (leaving control).
    void release(GObjectHandle<ArvStream> stream);

private:
    // What Aravis's heartbeat thread may touch: it can outlive neither the
    // provider nor this flag, whatever happens to the session meanwhile.
    struct ControlLink {
        std::atomic<bool> lost{false};
        GenicamProvider* provider = nullptr;
    };

    static void onControlLost(ArvDevice* device, gpointer data);
    // Runs write(device, node, error) on the exchange thread: a feature written, or a command run.
    template <typename Write> int writeFeature(const char* node, Write write);
    // The contract's code for a failed feature call.
    int featureFailure(const char* node, GError* error);
    // Takes the error; true when the camera did not answer at all.
    bool noteFailure(GError* error);

    GenicamProvider& provider_;
    const std::string cameraName_;
    const GenicamProfile& profile_;
    const std::chrono::milliseconds answerWait_;
    std::shared_ptr<ControlLink> controlLink_;

    std::atomic<bool> connected_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> gone_{false};

    GObjectHandle<ArvDevice> device_;
    GObjectHandle<ArvCamera> camera_;
    gulong controlLostHandler_ = 0;

    // Last: it ends first, before anything its exchanges use.
    GenicamExchangeThread exchanges_;
};

} // namespace calidra::sorvik
