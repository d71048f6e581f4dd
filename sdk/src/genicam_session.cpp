#include "genicam_session.h"

#include "camera_picture.h"
#include "camera_records.h"
#include "genicam_provider.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace calidra::sorvik {

namespace {

// Buffers Aravis fills in turn; a few frames of slack for a slow frame callback.
constexpr int kStreamBuffers = 8;
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

bool isImage(ArvBuffer* buffer) {
    const ArvBufferPayloadType type = arv_buffer_get_payload_type(buffer);
    return (type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA) &&
           arv_buffer_get_n_parts(buffer) >= 1;
}

} // namespace

GenicamSession::GenicamSession(GenicamProvider& provider, std::string address, std::string serial,
                               uint64_t generation, GenicamProfile profile,
                               std::chrono::milliseconds answerWait)
    : provider_(provider), address_(std::move(address)), serial_(std::move(serial)), generation_(generation),
      profile_(std::move(profile)), answerWait_(answerWait), controlLink_(std::make_shared<ControlLink>()),
      nodes_(/*keepsNucSettings=*/false, /*keepsUserOffset=*/true) {
    controlLink_->provider = &provider_;
}

GenicamSession::~GenicamSession() {
    closed_.store(true);
    exchanges_.post([this] { releaseCamera(); });
    exchanges_.finish();
}

int GenicamSession::connect(GInetAddress* interfaceAddress, GInetAddress* deviceAddress) {
    auto report = [this](const char* what, GError* error) {
        std::fprintf(stderr, "svkOpen: camera %s at %s: %s%s%s\n", serial_.c_str(), address_.c_str(), what,
                     error != nullptr ? ": " : "", error != nullptr ? error->message : "");
        g_clear_error(&error);
    };
    GError* error = nullptr;
    ArvDevice* device = arv_gv_device_new(interfaceAddress, deviceAddress, &error);
    if (device == nullptr) {
        report("does not answer", error);
        return SVK_ERROR_DEVICE_GONE;
    }
    if (!arv_gv_device_is_controller(ARV_GV_DEVICE(device))) {
        g_object_unref(device);
        report("another application controls it", nullptr);
        return SVK_ERROR_ACCESS;
    }
    ArvCamera* camera = arv_camera_new_with_device(device, &error);
    int result = camera != nullptr ? SVK_OK : SVK_ERROR_ACCESS;
    if (camera == nullptr) {
        report("cannot be used as a camera", error);
    }
    for (std::size_t i = 0; result == SVK_OK && i < profile_.features.size(); ++i) {
        const auto& [name, value] = profile_.features[i];
        ArvGcNode* node = arv_device_get_feature(device, name.c_str());
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
        arv_camera_gv_auto_packet_size(camera, nullptr);
    }
    int width = 0, height = 0;
    if (result == SVK_OK) {
        const ArvPixelFormat format = arv_camera_get_pixel_format(camera, &error);
        if (error != nullptr || format != ARV_PIXEL_FORMAT_MONO_16) {
            report("delivers no Mono16 pixels (set PixelFormat in its profile)", error);
            error = nullptr;
            result = SVK_ERROR_ACCESS;
        } else {
            arv_camera_get_region(camera, nullptr, nullptr, &width, &height, &error);
            const uint64_t payload = error == nullptr ? arv_camera_get_payload(camera, &error) : 0;
            const std::string problem = frameSizeProblem(width, height, payload);
            if (error != nullptr || !problem.empty()) {
                report(error != nullptr ? "has no frame size" : problem.c_str(), error);
                result = SVK_ERROR_ACCESS;
            }
        }
    }
    if (result != SVK_OK) {
        if (camera != nullptr) {
            g_object_unref(camera);
        }
        g_object_unref(device);
        return result;
    }
    // The heartbeat thread gets its own reference to the link, released when the handler goes.
    auto* link = new std::shared_ptr<ControlLink>(controlLink_);
    const gulong handler = g_signal_connect_data(
        device, "control-lost", G_CALLBACK(onControlLost), link,
        [](gpointer data, GClosure*) { delete static_cast<std::shared_ptr<ControlLink>*>(data); },
        GConnectFlags(0));
    device_ = device;
    camera_ = camera;
    controlLostHandler_ = handler;
    connected_.store(true);
    return SVK_OK;
}

void GenicamSession::onControlLost(ArvDevice*, gpointer data) {
    const auto& link = *static_cast<std::shared_ptr<ControlLink>*>(data);
    link->lost.store(true);
    link->provider->wake();
}

void GenicamSession::markGone() {
    gone_.store(true);
    acquiring_.store(false);
    SvkUnplugCallback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (unplugFired_ || closed_.load()) {
            return;
        }
        unplugFired_ = true;
        callback = unplugCallback_;
        context = unplugContext_;
    }
    // Nothing more can be asked of it: let go of it now rather than at the close.
    exchanges_.post([this] { releaseCamera(); });
    if (callback != nullptr) {
        callback(context);
    }
}

void GenicamSession::close() {
    if (closed_.exchange(true)) {
        return;
    }
    acquiring_.store(false);
    const bool ownThread = onStreamThread();
    if (!ownThread) {
        // A callback running now returns before this does; a later frame sees closed_.
        std::lock_guard<std::mutex> delivering(callbackMutex_);
    }
    if (connected_.load() && std::getenv("SORVIK_STREAM_STATS") != nullptr) {
        printStatistics();
    }
    // A camera that answers is free for the next session when this returns; one that does not
    // is let go of in the background. From the stream thread it cannot wait: letting go of the
    // stream joins that thread.
    auto release = [this] {
        releaseCamera();
        return SVK_OK;
    };
    const bool answering = !gone_.load() && !controlLost() && !exchanges_.unanswered();
    int result = SVK_OK;
    if (ownThread || !answering ||
        exchanges_.ask(release, answerWait_, result) == GenicamExchangeThread::Outcome::refused) {
        exchanges_.post(release);
    }
    if (auto self = weak_from_this().lock()) {
        provider_.retire(std::move(self)); // kept until its exchange thread is done with it
    }
}

void GenicamSession::releaseCamera() {
    ArvStream* stream;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream = std::exchange(stream_, nullptr);
    }
    ArvCamera* camera = std::exchange(camera_, nullptr);
    ArvDevice* device = std::exchange(device_, nullptr);
    if (device == nullptr) {
        return; // never connected, or already let go of
    }
    if (controlLostHandler_ != 0) {
        g_signal_handler_disconnect(device, controlLostHandler_);
        controlLostHandler_ = 0;
    }
    if (!gone_.load() && !controlLost()) {
        arv_camera_stop_acquisition(camera, nullptr);
    }
    // The stream joins its thread and resets the camera's stream channel; the device leaves
    // control. Each waits out a dead camera's time-outs, here and not on a caller's thread.
    for (gpointer object : {gpointer(stream), gpointer(camera)}) {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
    // A "control-lost" signal may hold the device while it is emitted on the heartbeat thread: were
    // that the last reference, the device would end on that thread and join it with itself.
    for (int wait = 0; wait < 200 && g_atomic_int_get(&G_OBJECT(device)->ref_count) > 1; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    g_object_unref(device);
    provider_.wake(); // a closed session can now be dropped
}

void GenicamSession::printStatistics() {
    std::fprintf(stderr,
                 "SorvikC: camera %s at %s: %llu frames delivered, %llu incomplete or unusable dropped\n",
                 serial_.c_str(), address_.c_str(), static_cast<unsigned long long>(deliveredFrames_.load()),
                 static_cast<unsigned long long>(droppedFrames_.load()));
}

int GenicamSession::setFrameCallback(SvkFrameCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    frameCallback_ = callback;
    frameContext_ = context;
    return SVK_OK;
}

int GenicamSession::setUnplugCallback(SvkUnplugCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugCallback_ = callback;
    unplugContext_ = context;
    return SVK_OK;
}

int GenicamSession::setAcquisition(int enable) {
    if (enable == 0) {
        return stopStream(); // the local stream stops even when the camera has gone
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return startStream();
}

int GenicamSession::ask(std::function<int()> exchange, std::function<void(int)> late) {
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
    return closed_.load() ? SVK_ERROR_INVALID_HANDLE : SVK_ERROR_DEVICE_GONE;
}

int GenicamSession::noCamera() const {
    return closed_.load() ? SVK_ERROR_INVALID_HANDLE : SVK_ERROR_DEVICE_GONE;
}

int GenicamSession::startStream() {
    return ask([this]() -> int { return startOnCamera(); },
               [this](int result) {
                   if (result == SVK_OK) {
                       // Its caller was told it failed: so it does.
                       acquiring_.store(false);
                       haltCamera();
                       dropStream();
                   }
               });
}

int GenicamSession::startOnCamera() {
    if (acquiring_.load() || camera_ == nullptr) {
        return acquiring_.load() ? SVK_OK : noCamera();
    }
    dropStream(); // its end resets the stream channel: before the new stream is set up
    GError* error = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    arv_camera_get_region(camera_, &x, &y, &width, &height, &error);
    const guint payload = error == nullptr ? arv_camera_get_payload(camera_, &error) : 0;
    if (error != nullptr) {
        noteFailure(error);
        return SVK_ERROR_DEVICE_GONE;
    }
    // Its features may have been changed since the open.
    if (const std::string problem = frameSizeProblem(width, height, payload); !problem.empty()) {
        std::fprintf(stderr, "svkSetAcquisition: camera %s at %s: %s\n", serial_.c_str(), address_.c_str(),
                     problem.c_str());
        return SVK_ERROR_ACCESS;
    }
    {
        // The frames the callback gets are sized here, never per frame.
        std::lock_guard<std::mutex> lock(latestMutex_);
        for (auto& frame : frames_) {
            frame.assign(std::size_t(width) * std::size_t(height), 0);
        }
        latestFrame_ = -1;
        frameWidth_ = width;
        frameHeight_ = height;
    }
    ArvStream* stream = arv_camera_create_stream(camera_, &GenicamSession::onStreamEvent, this, &error);
    if (stream == nullptr) {
        g_clear_error(&error);
        return SVK_ERROR_ACCESS;
    }
    if (ARV_IS_GV_STREAM(stream)) {
        g_object_set(stream, "packet-resend", ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream_ = stream;
    }
    for (int i = 0; i < kStreamBuffers; ++i) {
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
    }
    acquiring_.store(true);
    arv_camera_start_acquisition(camera_, &error);
    if (error == nullptr) {
        return SVK_OK;
    }
    noteFailure(error);
    acquiring_.store(false);
    dropStream();
    return SVK_ERROR_DEVICE_GONE;
}

int GenicamSession::stopStream() {
    acquiring_.store(false);
    if (!onStreamThread()) {
        std::lock_guard<std::mutex> delivering(callbackMutex_); // no frame after this returns
    }
    int result = usable();
    if (result == SVK_OK) {
        result = ask([this]() -> int { return haltCamera(); });
    }
    // Not waited for: letting go of the stream joins the stream thread, which may be the caller's.
    exchanges_.post([this] { dropStream(); });
    return result;
}

int GenicamSession::haltCamera() {
    if (camera_ == nullptr) {
        return noCamera();
    }
    GError* error = nullptr;
    arv_camera_stop_acquisition(camera_, &error);
    if (error == nullptr) {
        return SVK_OK;
    }
    return noteFailure(error) ? SVK_ERROR_DEVICE_GONE : SVK_ERROR_ACCESS;
}

void GenicamSession::dropStream() {
    ArvStream* stream;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream = std::exchange(stream_, nullptr);
    }
    if (stream != nullptr) {
        g_object_unref(stream); // joins the stream thread, resets the camera's stream channel
    }
}

void GenicamSession::onStreamEvent(void* data, ArvStreamCallbackType type, ArvBuffer*) {
    auto* session = static_cast<GenicamSession*>(data);
    if (type == ARV_STREAM_CALLBACK_TYPE_INIT) {
        session->streamThread_.store(std::this_thread::get_id());
    } else if (type == ARV_STREAM_CALLBACK_TYPE_BUFFER_DONE) {
        session->deliver();
    }
}

void GenicamSession::deliver() {
    ArvStream* stream;
    SvkFrameCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream = stream_;
        callback = frameCallback_;
        context = frameContext_;
    }
    // The buffer just finished is the oldest in the output queue: every one is taken here.
    ArvBuffer* buffer = stream != nullptr ? arv_stream_try_pop_buffer(stream) : nullptr;
    if (buffer == nullptr) {
        return; // the stream is being stopped
    }
    const int width = frameWidth_, height = frameHeight_; // fixed while the stream runs
    const std::size_t pixelCount = std::size_t(width) * std::size_t(height);
    std::size_t size = 0;
    const void* counts = nullptr;
    if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS && isImage(buffer) &&
        arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_MONO_16 &&
        arv_buffer_get_image_width(buffer) == width && arv_buffer_get_image_height(buffer) == height) {
        counts = arv_buffer_get_image_data(buffer, &size);
    }
    // Told on stderr like every problem of an open camera: a lossy network otherwise only shows as silence.
    const bool lost = arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS;
    std::string line;
    {
        std::lock_guard<std::mutex> lock(lossMutex_);
        line = lossReport_.frameFinished(!lost, IncompleteFrameReport::Clock::now());
    }
    if (!line.empty()) {
        std::fprintf(stderr, "SorvikC: camera %s at %s: %s\n", serial_.c_str(), address_.c_str(),
                     line.c_str());
    }
    if (counts == nullptr || size < pixelCount * 2) {
        // Incomplete (packets lost for good) or not what was asked for: never handed on half-filled.
        ++droppedFrames_;
    } else {
        std::lock_guard<std::mutex> delivering(callbackMutex_);
        if (acquiring_.load() && !closed_.load() && !gone_.load()) {
            const int format = pixelFormat_.load();
            const CountScale scale = countScale(profile_.kelvinPerCount, nodes_.userOffset(),
                                                format == SVK_PIXEL_FORMAT_DIRECT16 ? 0 : 1000);
            std::vector<uint32_t>& frame = frames_[nextFrame_];
            const auto* source = static_cast<const uint16_t*>(counts);
            if (format == SVK_PIXEL_FORMAT_RGB_CODE32) {
                countsToWideCodes(source, pixelCount, scale, frame.data());
            } else {
                countsToCodes(source, pixelCount, scale, reinterpret_cast<uint16_t*>(frame.data()));
            }
            {
                std::lock_guard<std::mutex> lock(latestMutex_);
                latestFrame_ = nextFrame_;
                latestFormat_ = format;
            }
            nextFrame_ ^= 1;
            ++deliveredFrames_;
            if (callback != nullptr) {
                SvkFrameRecord record{};
                record.width = uint32_t(width);
                record.height = uint32_t(height);
                record.data = frame.data();
                callback(&record, context);
            }
        }
    }
    arv_stream_push_buffer(stream, buffer);
}

int GenicamSession::imageSize(SvkImageSize* size) {
    if (size == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    // Answers live apart from the caller's records: a late exchange outlives its caller.
    auto region = std::make_shared<std::pair<int, int>>(0, 0);
    const int result = ask([this, region]() -> int {
        if (camera_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_camera_get_region(camera_, nullptr, nullptr, &region->first, &region->second, &error);
        if (error != nullptr) {
            noteFailure(error);
            return SVK_ERROR_DEVICE_GONE;
        }
        return SVK_OK;
    });
    if (result == SVK_OK) {
        size->offsetX = 0;
        size->offsetY = 0;
        size->width = region->first;
        size->height = region->second;
    }
    return result;
}

int GenicamSession::setPixelFormat(int format) {
    if (format != SVK_PIXEL_FORMAT_OFFSET16 && format != SVK_PIXEL_FORMAT_DIRECT16 &&
        format != SVK_PIXEL_FORMAT_RGB_CODE32) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    pixelFormat_.store(format);
    return SVK_OK;
}

int GenicamSession::pixelFormat(int* format) {
    if (format == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    *format = pixelFormat_.load();
    return SVK_OK;
}

int GenicamSession::rgbData(unsigned char* buffer, int bytes) {
    std::lock_guard<std::mutex> lock(latestMutex_);
    const std::size_t width = std::size_t(frameWidth_), height = std::size_t(frameHeight_);
    if (buffer == nullptr || bytes < 0 || std::size_t(bytes) < width * height * 3) {
        return SVK_ERROR_BUFFER_TOO_SMALL;
    }
    if (latestFrame_ < 0) {
        return SVK_ERROR_NOT_FOUND; // no frame yet: nothing written
    }
    simulator::CodePlane plane;
    plane.codes = reinterpret_cast<const uint16_t*>(frames_[latestFrame_].data());
    if (latestFormat_ == SVK_PIXEL_FORMAT_RGB_CODE32) {
        plane.codes += 1; // the second word of each pixel
        plane.stepWords = 2;
    }
    plane.zeroCelsiusCode = latestFormat_ == SVK_PIXEL_FORMAT_DIRECT16 ? 0 : 1000;
    simulator::renderCameraPicture(plane, width, height, nodes_.palette(), buffer);
    return SVK_OK;
}

int GenicamSession::usable() const {
    if (closed_.load()) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    // Once its control channel is lost, or while a command goes unanswered, every further
    // command would wait out its time-outs.
    return gone_.load() || controlLost() || exchanges_.unanswered() ? SVK_ERROR_DEVICE_GONE : SVK_OK;
}

bool GenicamSession::noteFailure(GError* error) {
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

int GenicamSession::featureFailure(const char* node, GError* error) {
    if (noteFailure(error)) {
        return SVK_ERROR_DEVICE_GONE;
    }
    if (gone_.load() || controlLost()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    return arv_device_get_feature(device_, node) == nullptr ? SVK_ERROR_UNKNOWN_NODE : SVK_ERROR_ACCESS;
}

int GenicamSession::nodeInfo(const char* node, SvkNodeInfo* info) {
    if (info == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = nodes_.info(node, *info); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    if (nodeIs(node, kIncompleteFramesNode)) {
        describeLibraryNode(*info);
        info->accessMode = 3; // read-only: counted by the library
        return SVK_OK;
    }
    auto access = std::make_shared<int>(0);
    std::string feature = nodeIs(node, "NUCManualRun") ? profile_.nucCommand : std::string(node);
    const int result = ask([this, access, feature = std::move(feature)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        if (feature.empty() || arv_device_get_feature(device_, feature.c_str()) == nullptr) {
            return SVK_ERROR_UNKNOWN_NODE;
        }
        *access = accessModeCode(arv_device_get_feature_access_mode(device_, feature.c_str()));
        return SVK_OK;
    });
    if (result != SVK_OK) {
        return result;
    }
    info->nodeType = 0;
    info->accessMode = *access;
    info->visibility = 0;
    return SVK_OK;
}

int GenicamSession::nodeEnum(const char* node, SvkEnumRecord* record) {
    if (record == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = nodes_.enumeration(node, *record); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    struct Enumeration {
        std::vector<std::string> entries;
        int currentIndex = 0;
    };
    auto answer = std::make_shared<Enumeration>();
    const int result = ask([this, answer, name = std::string(node)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        guint count = 0;
        const char** names = arv_device_dup_available_enumeration_feature_values_as_strings(
            device_, name.c_str(), &count, &error);
        if (error != nullptr) {
            g_free(names);
            return featureFailure(name.c_str(), error);
        }
        const char* current = arv_device_get_string_feature_value(device_, name.c_str(), &error);
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
        fillEnumRecord(*record, answer->entries, answer->currentIndex);
    }
    return result;
}

int GenicamSession::nodeFloat(const char* node, SvkFloatRecord* record) {
    if (record == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = nodes_.floatValue(node, *record); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    if (nodeIs(node, kIncompleteFramesNode)) {
        std::lock_guard<std::mutex> lock(lossMutex_);
        record->value = lossReport_.droppedInLastMinute(IncompleteFrameReport::Clock::now());
        record->minimum = 0.0;
        return SVK_OK;
    }
    auto answer = std::make_shared<std::pair<double, double>>(0.0, 0.0); // value, minimum
    const int result = ask([this, answer, name = std::string(node)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        answer->first = arv_device_get_float_feature_value(device_, name.c_str(), &error);
        if (error != nullptr) {
            return featureFailure(name.c_str(), error);
        }
        double maximum = 0.0;
        arv_device_get_float_feature_bounds(device_, name.c_str(), &answer->second, &maximum, &error);
        g_clear_error(&error);
        return SVK_OK;
    });
    if (result == SVK_OK) {
        record->value = answer->first;
        record->minimum = answer->second;
    }
    return result;
}

int GenicamSession::setNodeInt(const char* node, int value) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return ask([this, value, name = std::string(node)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_device_set_integer_feature_value(device_, name.c_str(), value, &error);
        return error == nullptr ? SVK_OK : featureFailure(name.c_str(), error);
    });
}

int GenicamSession::setNodeFloat(const char* node, double value) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (nodeIs(node, kIncompleteFramesNode)) {
        return SVK_ERROR_ACCESS;
    }
    if (const int result = nodes_.setFloat(node, value); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    return ask([this, value, name = std::string(node)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_device_set_float_feature_value(device_, name.c_str(), value, &error);
        return error == nullptr ? SVK_OK : featureFailure(name.c_str(), error);
    });
}

int GenicamSession::setNodeEnum(const char* node, const char* entry) {
    if (node == nullptr || entry == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = nodes_.setEnum(node, entry); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    return ask([this, name = std::string(node), value = std::string(entry)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_device_set_string_feature_value(device_, name.c_str(), value.c_str(), &error);
        return error == nullptr ? SVK_OK : featureFailure(name.c_str(), error);
    });
}

int GenicamSession::setNodeCommand(const char* node) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    std::string command = node;
    if (nodeIs(node, "NUCManualRun")) {
        if (profile_.nucCommand.empty()) {
            return SVK_ERROR_UNKNOWN_NODE; // this camera's profile names no NUC command
        }
        command = profile_.nucCommand;
    }
    return ask([this, command = std::move(command)]() -> int {
        if (device_ == nullptr) {
            return noCamera();
        }
        GError* error = nullptr;
        arv_device_execute_command(device_, command.c_str(), &error);
        return error == nullptr ? SVK_OK : featureFailure(command.c_str(), error);
    });
}

} // namespace calidra::sorvik
