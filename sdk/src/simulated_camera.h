#pragma once
// The simulated cameras: attached cameras, open sessions with their frame
// threads, and the scenario's timeline of plug, unplug and stall events.

#include "camera_drift.h"
#include "camera_provider.h"
#include "scenario.h"
#include "scene.h"
#include "scene_clock.h"
#include "scene_picture.h"
#include "session_core.h"
#include "svk.h"
#include "truth_log.h"

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

// The simulated cameras of a scenario as a provider of the library.
class SimulatorProvider : public sorvik::CameraProvider {
public:
    explicit SimulatorProvider(Scenario scenario, SceneClock& clock = steadySceneClock());
    ~SimulatorProvider() override;

    int start(sorvik::ProviderEvents& events) override;
    void stop() override;
    int listCameras(std::vector<sorvik::CameraListing>& cameras) override;
    int open(const std::string& openKey, std::shared_ptr<sorvik::CameraSession>& session) override;

    SceneClock& clock() const { return clock_; }
    double secondsSinceStart() const;
    bool deviceUsable(std::size_t deviceIndex, uint64_t generation);
    bool stalled(std::size_t deviceIndex, double seconds);
    std::shared_ptr<CameraDrift> drift(std::size_t deviceIndex) const { return drifts_[deviceIndex]; }

private:
    void runEvents();

    SceneClock& clock_;
    std::mutex mutex_;
    sorvik::ProviderEvents* events_ = nullptr;
    SceneClock::TimePoint start_;
    std::vector<Device> devices_;
    std::vector<std::weak_ptr<Session>> sessions_;
    std::thread eventThread_;
    std::condition_variable eventWake_;
    bool stopEvents_ = false;
    std::vector<std::shared_ptr<CameraDrift>>
        drifts_; // per device, null without drift; as long as the provider
    std::unique_ptr<TruthLog> truth_;
};

// An open camera: acquisition, the NUC command and the frame thread.
class Session : public sorvik::SessionCore, public std::enable_shared_from_this<Session> {
public:
    Session(SimulatorProvider& provider, std::size_t deviceIndex, uint64_t generation,
            const CameraScenario& scenario);
    ~Session() override;

    std::size_t deviceIndex() const { return deviceIndex_; }
    uint64_t generation() const { return generation_; }
    bool closed();

    // Stops the frame thread; returns after its last callback has returned.
    // Called from that very callback, it cannot wait for itself: the thread
    // then keeps the session alive until it has left the session's code.
    void close() override;
    void fireUnplug() { frames().deliverUnplug(); }
    int setAcquisition(int enable) override;

private:
    int usable() const override;
    int frameSize(int& width, int& height) override;
    int cameraNodeInfo(const char* node, SvkNodeInfo& info) override;
    int runCameraCommand(const char* node) override;
    bool drawPictureShortcut(std::size_t width, std::size_t height, int palette, unsigned char* bgr) override;
    void runFrames();

    SimulatorProvider& provider_;
    const std::size_t deviceIndex_;
    const uint64_t generation_;
    const CameraScenario scenario_;
    const std::shared_ptr<CameraDrift> drift_; // null: no drift

    std::mutex mutex_; // acquisition state
    std::condition_variable wake_;
    bool stopping_ = false;
    std::shared_ptr<Session> keepAlive_; // set when stopped from its own frame thread
    bool acquiring_ = false;
    uint64_t acquisitionStarts_ = 0;

    std::atomic<double> flatUntilSeconds_{-1.0};

    // Kept with the latest frame's codes, under the frame outlet's lock: a frame drawn by the
    // scene drawer is pictured from its layout.
    bool latestDrawn_ = false;
    SceneFrameLayout latestLayout_;
    ScenePictureRenderer pictureRenderer_;

    // Frame thread only.
    SceneCodeDrawer sceneDrawer_;
    std::vector<uint16_t> frameCodes_;
    std::vector<uint8_t> pixels_;
    uint64_t frameIndex_ = 0;
    std::thread thread_;
};

} // namespace calidra::simulator
