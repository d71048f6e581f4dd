#pragma once
// GigE Vision / GenICam cameras through Aravis. A worker thread re-reads the
// device list every list period (two seconds by default): each configured
// address is asked by unicast, and only with "discover" also every camera
// that answers a broadcast. A device that stops answering, or whose open
// session lost its control channel, fires the unplug callbacks and
// device-check "removed"; one that answers again fires "added".
//
// Stopping never waits for a camera that does not answer: what is still
// caught in Aravis's time-outs (the worker asking a dead address, a dead
// camera being let go of) is left to a thread that keeps the provider alive
// until it is done, after the last device or unplug callback has returned.

#include "camera_provider.h"
#include "gobject_handle.h"
#include "library_configuration.h"

#include <arv.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace calidra::sorvik {

class GenicamSession;

class GenicamProvider : public CameraProvider, public std::enable_shared_from_this<GenicamProvider> {
public:
    static constexpr const char* kOpenKeyPrefix = "genicam:";

    explicit GenicamProvider(GenicamConfiguration configuration);
    ~GenicamProvider() override;

    int start(ProviderEvents& events) override;
    void stop() override;
    int listCameras(std::vector<CameraListing>& cameras) override;
    int open(const std::string& openKey, std::shared_ptr<CameraSession>& session) override;

    // A session lost its control channel, or let go of its camera (any thread).
    void wake();
    // Keeps a closed session until its exchange thread has let go of its
    // camera: the caller of svkClose never waits for a camera that does not answer.
    void retire(std::shared_ptr<GenicamSession> session);

private:
    // A device at one address, as the worker last saw it.
    struct Device {
        std::string address;
        bool configured = false; // from "addresses"; others come and go with discovery
        bool present = false;
        uint64_t generation = 0; // changes whenever it appears again
        std::string vendor;
        std::string model;
        std::string serial;
        std::string userName;
        int profile = -1;                             // index into the configuration's cameras, -1 for none
        GObjectHandle<GInetAddress> interfaceAddress; // ours, on the way to it
        GObjectHandle<GInetAddress> deviceAddress;
        GObjectHandle<ArvDevice> monitor; // worker thread only: asked for its serial number each round
    };
    struct Probe {
        bool answered = false;
        std::string vendor, model, serial, userName;
        GObjectHandle<GInetAddress> interfaceAddress;
        GObjectHandle<GInetAddress> deviceAddress;
    };

    void run();
    // Runs a device or unplug notification unless stopping; stop() waits for one under way.
    template <typename Notification> void notify(Notification&& notification);
    // Waits for the cameras being let go of, then lets go of the list's own devices.
    void settle();
    void scan();
    Probe probe(Device& device);
    // The first of the configuration's cameras that matches what a device said, -1 for none.
    int profileFor(const Probe& seen) const;
    void handleLostControl();
    // Drops the retired sessions that are done, or with everything all of them.
    void dropRetired(bool everything);
    // Unplugs the sessions of a device that went; called without the lock.
    void unplugSessionsOf(const std::string& address, uint64_t generation);

    const GenicamConfiguration configuration_;
    ProviderEvents* events_ = nullptr;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool woken_ = false;
    bool listing_ = false; // the worker asks the network: it may be held there for seconds
    std::mutex notifying_; // held while a device or unplug callback runs
    std::vector<Device> devices_;
    std::vector<std::weak_ptr<GenicamSession>> sessions_;
    std::vector<std::shared_ptr<GenicamSession>> retired_;
    std::thread worker_;
};

} // namespace calidra::sorvik
