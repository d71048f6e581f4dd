#include "genicam_control.h"

#include "camera_records.h"
#include "genicam_provider.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

namespace calidra::sorvik {

namespace {

// Every buffer and frame is sized from what the camera reports: bounded, so that a mistaken feature
// (Width 100000) is refused instead of taking the machine's memory. Chunk data may follow the pixels.
constexpr int kLargestSide = 8192;
constexpr uint64_t kLargestChunkBytes = 1u << 20;

// Empty when the camera's frames may be taken, else why not.
std::string frameSizeProblem(int width, int height, uint64_t payload) {
    if (width < 1 || height < 1) {
        return "has no frame size";
    }
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width > kLargestSide || height > kLargestSide) {
        return "frame " + size + " is larger than the " + std::to_string(kLargestSide) + " x " +
               std::to_string(kLargestSide) + " allowed";
    }
    const uint64_t pixelBytes = uint64_t(width) * uint64_t(height) * 2;
    if (payload < pixelBytes || payload > pixelBytes + kLargestChunkBytes) {
        return "payload of " + std::to_string(payload) + " bytes does not fit a frame of " + size + " Mono16";
    }
    return {};
}

// Access of a GenICam feature as the node information record reports it:
// 2 write-only, 3 read-only, 4 read and write are usable.
int accessModeCode(ArvGcAccessMode mode) {
    switch (mode) {
    case ARV_GC_ACCESS_MODE_WO:
        return 2;
    case ARV_GC_ACCESS_MODE_RO:
        return 3;
    case ARV_GC_ACCESS_MODE_RW:
        return 4;
    default:
        return 1;
    }
}

} // namespace

GenicamControl::GenicamControl(GenicamProvider& provider, std::string cameraName,
                               const GenicamProfile& profile, std::chrono::milliseconds answerWait)
    : provider_(provider), cameraName_(std::move(cameraName)), profile_(profile), answerWait_(answerWait),
      controlLink_(std::make_shared<ControlLink>()) {
    controlLink_->provider = &provider_;
}

int GenicamControl::connect(GInetAddress* interfaceAddress, GInetAddress* deviceAddress) {
    auto report = [this](const char* what, GError* error) {
        std::fprintf(stderr, "svkOpen: camera %s: %s%s%s\n", cameraName_.c_str(), what,
                     error != nullptr ? ": " : "", error != nullptr ? error->message : "");
        g_clear_error(&error);
    };
    GError* error = nullptr;
    GObjectHandle<ArvDevice> device(arv_gv_device_new(interfaceAddress, deviceAddress, &error));
    if (!device) {
        report("does not answer", error);
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!arv_gv_device_is_controller(ARV_GV_DEVICE(device.get()))) {
        report("another application controls it", nullptr);
        return SVK_ERROR_ACCESS;
    }
    GObjectHandle<ArvCamera> camera(arv_camera_new_with_device(device.get(), &error));
    int result = camera ? SVK_OK : SVK_ERROR_ACCESS;
    if (!camera) {
        report("cannot be used as a camera", error);
    }
    for (std::size_t i = 0; result == SVK_OK && i < profile_.features.size(); ++i) {
        const auto& [name, value] = profile_.features[i];
        ArvGcNode* node = arv_device_get_feature(device.get(), name.c_str());
        if (node == nullptr || !ARV_IS_GC_FEATURE_NODE(node)) {
            report(("has no feature " + name).c_str(), nullptr);
            result = SVK_ERROR_UNKNOWN_NODE;
            break;
        }
        arv_gc_feature_node_set_value_from_string(ARV_GC_FEATURE_NODE(node), value.c_str(), &error);
        if (error != nullptr) {
            report(("feature " + name + " = " + value).c_str(), error);
            result = SVK_ERROR_ACCESS;
        }
    }
    const bool packetSizeGiven =
        std::any_of(profile_.features.begin(), profile_.features.end(),
                    [](const auto& feature) { return feature.first == "GevSCPSPacketSize"; });
    if (result == SVK_OK && !packetSizeGiven) {
        // The largest packet the way to the camera carries (jumbo frames on a camera network):
        // fewer packets a frame, fewer frames lost to one lost packet.
        arv_camera_gv_auto_packet_size(camera.get(), nullptr);
    }
    int width = 0, height = 0;
    if (result == SVK_OK) {
        const ArvPixelFormat format = arv_camera_get_pixel_format(camera.get(), &error);
        if (error != nullptr || format != ARV_PIXEL_FORMAT_MONO_16) {
            report("delivers no Mono16 pixels (set PixelFormat in its profile)", error);
            error = nullptr;
            result = SVK_ERROR_ACCESS;
        } else {
            arv_camera_get_region(camera.get(), nullptr, nullptr, &width, &height, &error);
            const uint64_t payload = error == nullptr ? arv_camera_get_payload(camera.get(), &error) : 0;
            const std::string problem = frameSizeProblem(width, height, payload);
            if (error != nullptr || !problem.empty()) {
                report(error != nullptr ? "has no frame size" : problem.c_str(), error);
                result = SVK_ERROR_ACCESS;
            }
        }
    }
    if (result != SVK_OK) {
        return result;
    }
    // The heartbeat thread gets its own reference to the link, released when the handler goes.
    auto* link = new std::shared_ptr<ControlLink>(controlLink_);
    controlLostHandler_ = g_signal_connect_data(
        device.get(), "control-lost", G_CALLBACK(onControlLost), link,
        [](gpointer data, GClosure*) { delete static_cast<std::shared_ptr<ControlLink>*>(data); },
        GConnectFlags(0));
    device_ = std::move(device);
    camera_ = std::move(camera);
    connected_.store(true);
    return SVK_OK;
}

void GenicamControl::onControlLost(ArvDevice*, gpointer data) {
    const auto& link = *static_cast<std::shared_ptr<ControlLink>*>(data);
    link->lost.store(true);
    link->provider->wake();
}

int GenicamControl::usable() const {
    if (closed_.load()) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    // Once its control channel is lost, or while a command goes unanswered, every further
    // command would wait out its time-outs.
    return gone_.load() || controlLost() || exchanges_.unanswered() ? SVK_ERROR_DEVICE_GONE : SVK_OK;
}

int GenicamControl::ask(std::function<int()> exchange, std::function<void(int)> late) {
    int result = SVK_ERROR_DEVICE_GONE;
    switch (exchanges_.ask(std::move(exchange), answerWait_, result, std::move(late))) {
    case GenicamExchangeThread::Outcome::answered:
        return result;
    case GenicamExchangeThread::Outcome::late:
        // Not answered in time: taken for gone by the caller now, and by the library too if
        // the camera leaves it unanswered through all of Aravis's retries (noteFailure).
        return SVK_ERROR_DEVICE_GONE;
    case GenicamExchangeThread::Outcome::refused:
        break;
    }
    return noCamera();
}

bool GenicamControl::runWhileAnswering(const std::function<void()>& work) {
    if (gone_.load() || controlLost() || exchanges_.unanswered()) {
        return false;
    }
    int result = SVK_OK;
    const auto exchange = [work] {
        work();
        return SVK_OK;
    };
    return exchanges_.ask(exchange, answerWait_, result) != GenicamExchangeThread::Outcome::refused;
}

int GenicamControl::noCamera() const {
    return closed_.load() ? SVK_ERROR_INVALID_HANDLE : SVK_ERROR_DEVICE_GONE;
}

bool GenicamControl::noteFailure(GError* error) {
    const bool silent =
        error != nullptr && error->domain == ARV_DEVICE_ERROR && error->code == ARV_DEVICE_ERROR_TIMEOUT;
    g_clear_error(&error);
    if (silent) {
        // A command unanswered through all its retries: the camera is taken for gone at once,
        // as Aravis's heartbeat would conclude seconds later; the worker reports it.
        controlLink_->lost.store(true);
        provider_.wake();
    }
    return silent;
}

int GenicamControl::featureFailure(const char* node, GError* error) {
    if (noteFailure(error)) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (gone_.load() || controlLost()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return arv_device_get_feature(device_.get(), node) == nullptr ? SVK_ERROR_UNKNOWN_NODE : SVK_ERROR_ACCESS;
}

int GenicamControl::frameLayout(int& width, int& height, guint& payload) {
    GError* error = nullptr;
    int x = 0, y = 0;
    arv_camera_get_region(camera_.get(), &x, &y, &width, &height, &error);
    payload = error == nullptr ? arv_camera_get_payload(camera_.get(), &error) : 0;
    if (error != nullptr) {
        noteFailure(error);
        return SVK_ERROR_DEVICE_GONE;
    }
    // Its features may have been changed since the open.
    if (const std::string problem = frameSizeProblem(width, height, payload); !problem.empty()) {
        std::fprintf(stderr, "svkSetAcquisition: camera %s: %s\n", cameraName_.c_str(), problem.c_str());
        return SVK_ERROR_ACCESS;
    }
    return SVK_OK;
}

int GenicamControl::startAcquisition() {
    GError* error = nullptr;
    arv_camera_start_acquisition(camera_.get(), &error);
    if (error == nullptr) {
        return SVK_OK;
    }
    noteFailure(error);
    return SVK_ERROR_DEVICE_GONE;
}

int GenicamControl::haltCamera() {
    if (!camera_) {
        return noCamera();
    }
    GError* error = nullptr;
    arv_camera_stop_acquisition(camera_.get(), &error);
    if (error == nullptr) {
        return SVK_OK;
    }
    return noteFailure(error) ? SVK_ERROR_DEVICE_GONE : SVK_ERROR_ACCESS;
}

void GenicamControl::release(GObjectHandle<ArvStream> stream) {
    GObjectHandle<ArvCamera> camera = std::move(camera_);
    GObjectHandle<ArvDevice> device = std::move(device_);
    if (!device) {
        return; // never connected, or already let go of
    }
    if (controlLostHandler_ != 0) {
        g_signal_handler_disconnect(device.get(), controlLostHandler_);
        controlLostHandler_ = 0;
    }
    if (!gone_.load() && !controlLost()) {
        arv_camera_stop_acquisition(camera.get(), nullptr);
    }
    // The stream joins its thread and resets the camera's stream channel; the device leaves
    // control. Each waits out a dead camera's time-outs, here and not on a caller's thread.
    stream.reset();
    camera.reset();
    // A "control-lost" signal may hold the device while it is emitted on the heartbeat thread: were
    // that the last reference, the device would end on that thread and join it with itself.
    for (int wait = 0; wait < 200 && g_atomic_int_get(&G_OBJECT(device.get())->ref_count) > 1; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    device.reset();
    provider_.wake(); // a closed session can now be dropped
}

int GenicamControl::frameSize(int& width, int& height) {
    // Answers live apart from the caller's records: a late exchange outlives its caller.
    auto region = std::make_shared<std::pair<int, int>>(0, 0);
    const int result = ask([this, region]() -> int {
        if (!camera_) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_camera_get_region(camera_.get(), nullptr, nullptr, &region->first, &region->second, &error);
        if (error != nullptr) {
            noteFailure(error);
            return SVK_ERROR_DEVICE_GONE;
        }
        return SVK_OK;
    });
    if (result == SVK_OK) {
        width = region->first;
        height = region->second;
    }
    return result;
}

int GenicamControl::featureInfo(const std::string& feature, SvkNodeInfo& info) {
    auto access = std::make_shared<int>(0);
    const int result = ask([this, access, feature]() -> int {
        if (!device_) {
            return noCamera();
        }
        if (feature.empty() || arv_device_get_feature(device_.get(), feature.c_str()) == nullptr) {
            return SVK_ERROR_UNKNOWN_NODE;
        }
        *access = accessModeCode(arv_device_get_feature_access_mode(device_.get(), feature.c_str()));
        return SVK_OK;
    });
    if (result == SVK_OK) {
        info.nodeType = 0;
        info.accessMode = *access;
        info.visibility = 0;
    }
    return result;
}

int GenicamControl::enumeration(const char* node, SvkEnumRecord& record) {
    struct Enumeration {
        std::vector<std::string> entries;
        int currentIndex = 0;
    };
    auto answer = std::make_shared<Enumeration>();
    const int result = ask([this, answer, name = std::string(node)]() -> int {
        if (!device_) {
            return noCamera();
        }
        GError* error = nullptr;
        guint count = 0;
        const char** names = arv_device_dup_available_enumeration_feature_values_as_strings(
            device_.get(), name.c_str(), &count, &error);
        if (error != nullptr) {
            g_free(names);
            return featureFailure(name.c_str(), error);
        }
        const char* current = arv_device_get_string_feature_value(device_.get(), name.c_str(), &error);
        for (guint i = 0; i < count; ++i) {
            answer->entries.emplace_back(names[i]);
            if (current != nullptr && answer->entries.back() == current) {
                answer->currentIndex = int(i);
            }
        }
        g_free(names);
        return error != nullptr ? featureFailure(name.c_str(), error) : SVK_OK;
    });
    if (result == SVK_OK) {
        fillEnumRecord(record, answer->entries, answer->currentIndex);
    }
    return result;
}

int GenicamControl::floatValue(const char* node, SvkFloatRecord& record) {
    auto answer = std::make_shared<std::pair<double, double>>(0.0, 0.0); // value, minimum
    const int result = ask([this, answer, name = std::string(node)]() -> int {
        if (!device_) {
            return noCamera();
        }
        GError* error = nullptr;
        answer->first = arv_device_get_float_feature_value(device_.get(), name.c_str(), &error);
        if (error != nullptr) {
            return featureFailure(name.c_str(), error);
        }
        double maximum = 0.0;
        arv_device_get_float_feature_bounds(device_.get(), name.c_str(), &answer->second, &maximum, &error);
        g_clear_error(&error);
        return SVK_OK;
    });
    if (result == SVK_OK) {
        record.value = answer->first;
        record.minimum = answer->second;
    }
    return result;
}

template <typename Write> int GenicamControl::writeFeature(const char* node, Write write) {
    return ask([this, write, name = std::string(node)]() -> int {
        if (!device_) {
            return noCamera();
        }
        GError* error = nullptr;
        write(device_.get(), name.c_str(), &error);
        return error == nullptr ? SVK_OK : featureFailure(name.c_str(), error);
    });
}

int GenicamControl::setInt(const char* node, int value) {
    return writeFeature(node, [value](ArvDevice* device, const char* name, GError** error) {
        arv_device_set_integer_feature_value(device, name, value, error);
    });
}

int GenicamControl::setFloat(const char* node, double value) {
    return writeFeature(node, [value](ArvDevice* device, const char* name, GError** error) {
        arv_device_set_float_feature_value(device, name, value, error);
    });
}

int GenicamControl::setEnum(const char* node, const char* entry) {
    return writeFeature(node,
                        [value = std::string(entry)](ArvDevice* device, const char* name, GError** error) {
                            arv_device_set_string_feature_value(device, name, value.c_str(), error);
                        });
}

int GenicamControl::command(const std::string& command) {
    return writeFeature(command.c_str(), [](ArvDevice* device, const char* name, GError** error) {
        arv_device_execute_command(device, name, error);
    });
}

} // namespace calidra::sorvik
