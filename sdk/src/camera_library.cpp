#include "camera_library.h"

#include "camera_records.h"
#include "genicam_provider.h"
#include "library_configuration.h"
#include "scenario.h"
#include "scene_clock.h"
#include "simulated_camera.h"
#include "uvc_device_choice.h"
#include "uvc_provider.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace calidra::sorvik {

namespace {

// The simulated cameras: the scenario file named by SORVIK_SIM_SCENARIO, or the built-in scene.
int simulatorProvider(std::shared_ptr<CameraProvider>& provider) {
    simulator::Scenario scenario;
    const char* path = std::getenv("SORVIK_SIM_SCENARIO");
    if (path != nullptr && *path != '\0') {
        std::string error;
        if (!simulator::loadScenario(path, scenario, error)) {
            std::fprintf(stderr, "svkInit: scenario file %s: %s\n", path, error.c_str());
            return SVK_ERROR_SCENARIO;
        }
    } else {
        scenario = simulator::defaultScenario();
    }
    provider =
        std::make_shared<simulator::SimulatorProvider>(std::move(scenario), simulator::chosenSceneClock());
    return SVK_OK;
}

} // namespace

CameraLibrary& CameraLibrary::instance() {
    static CameraLibrary library;
    return library;
}

int CameraLibrary::init() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) {
        return SVK_OK; // a second start-up keeps the running state
    }
    LibraryConfiguration configuration;
    const std::string path = configurationPath();
    if (!path.empty()) {
        std::string error;
        if (!loadConfiguration(path, configuration, error)) {
            std::fprintf(stderr, "svkInit: configuration file %s: %s\n", path.c_str(), error.c_str());
            return SVK_ERROR_SCENARIO;
        }
    }
    std::vector<std::shared_ptr<CameraProvider>> providers;
    if (configuration.genicam) {
        providers.push_back(std::make_shared<GenicamProvider>(configuration.genicamCameras));
    }
    if (configuration.uvc) {
        providers.push_back(std::make_shared<UvcProvider>(configuration.uvcCameras, chosenUvcDeviceSystem(),
                                                          chosenUvcRecheckIntervalMs()));
    }
    if (configuration.simulator) {
        std::shared_ptr<CameraProvider> simulated;
        const int result = simulatorProvider(simulated);
        if (result != SVK_OK) {
            return result;
        }
        providers.push_back(std::move(simulated));
    }
    for (std::size_t i = 0; i < providers.size(); ++i) {
        const int result = providers[i]->start(*this);
        if (result != SVK_OK) {
            for (std::size_t started = 0; started < i; ++started) {
                providers[started]->stop();
            }
            return result;
        }
    }
    providers_ = std::move(providers);
    initialized_ = true;
    return SVK_OK;
}

int CameraLibrary::uninit() {
    std::vector<std::shared_ptr<CameraProvider>> providers;
    std::vector<std::pair<SvkHandle, std::shared_ptr<CameraSession>>> sessions;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            return SVK_OK;
        }
        initialized_ = false;
        providers.swap(providers_);
        sessions.swap(sessions_);
        deviceCheck_ = nullptr;
        deviceCheckContext_ = nullptr;
    }
    for (auto& entry : sessions) {
        entry.second->close();
    }
    // Reverse order of starting; each provider's threads end here.
    for (auto it = providers.rbegin(); it != providers.rend(); ++it) {
        (*it)->stop();
    }
    return SVK_OK;
}

std::vector<std::shared_ptr<CameraProvider>> CameraLibrary::runningProviders() {
    std::lock_guard<std::mutex> lock(mutex_);
    return providers_;
}

int CameraLibrary::collectCameras(std::vector<CameraListing>& cameras) {
    int result = SVK_OK;
    for (const auto& provider : runningProviders()) {
        const int listed = provider->listCameras(cameras);
        if (listed != SVK_OK && result == SVK_OK) {
            result = listed;
        }
    }
    return result;
}

int CameraLibrary::cameraCount(int* count) {
    if (count == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            return SVK_ERROR_NOT_INITIALIZED;
        }
    }
    std::vector<CameraListing> cameras;
    collectCameras(cameras); // a failure to describe them does not change how many there are
    *count = int(cameras.size());
    return SVK_OK;
}

int CameraLibrary::cameraInfo(SvkCameraInfo* records, int count) {
    if (records == nullptr || count < 0) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            return SVK_ERROR_NOT_INITIALIZED;
        }
    }
    std::vector<CameraListing> cameras;
    const int result = collectCameras(cameras);
    if (result != SVK_OK) {
        return result;
    }
    for (std::size_t i = 0; i < cameras.size() && i < std::size_t(count); ++i) {
        const CameraListing& camera = cameras[i];
        fillCameraInfo(records[i], camera.label, camera.kind, camera.model, camera.identity, camera.openKey);
    }
    return SVK_OK;
}

int CameraLibrary::open(const char* openKey, SvkHandle* handle) {
    if (openKey == nullptr || handle == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    const auto providers = runningProviders();
    if (providers.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            return SVK_ERROR_NOT_INITIALIZED;
        }
    }
    for (const auto& provider : providers) {
        std::shared_ptr<CameraSession> session;
        const int result = provider->open(openKey, session);
        if (result == SVK_ERROR_NOT_FOUND) {
            continue; // not this provider's camera
        }
        if (result != SVK_OK) {
            return result;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) {
            session->close(); // shut down while opening
            return SVK_ERROR_NOT_INITIALIZED;
        }
        SvkHandle newHandle = reinterpret_cast<SvkHandle>(nextHandle_);
        nextHandle_ += 0x10;
        sessions_.emplace_back(newHandle, std::move(session));
        *handle = newHandle;
        return SVK_OK;
    }
    return SVK_ERROR_NOT_FOUND;
}

int CameraLibrary::close(SvkHandle handle) {
    std::shared_ptr<CameraSession> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(sessions_.begin(), sessions_.end(),
                               [handle](const auto& entry) { return entry.first == handle; });
        if (it == sessions_.end()) {
            return SVK_ERROR_INVALID_HANDLE;
        }
        closing = std::move(it->second);
        sessions_.erase(it);
    }
    closing->close();
    return SVK_OK;
}

int CameraLibrary::setDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) {
        return SVK_ERROR_NOT_INITIALIZED;
    }
    deviceCheck_ = callback;
    deviceCheckContext_ = context;
    return SVK_OK;
}

std::shared_ptr<CameraSession> CameraLibrary::session(SvkHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : sessions_) {
        if (entry.first == handle) {
            return entry.second;
        }
    }
    return nullptr;
}

void CameraLibrary::deviceChecked(int state) {
    SvkDeviceCheckCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = deviceCheck_;
        context = deviceCheckContext_;
    }
    if (callback != nullptr) {
        callback(state, context);
    }
}

} // namespace calidra::sorvik
