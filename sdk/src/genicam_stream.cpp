#include "genicam_stream.h"

#include "thermal_conversion.h"

#include <cstdio>
#include <utility>

namespace calidra::sorvik {

namespace {

// Buffers Aravis fills in turn; a few frames of slack for a slow frame callback.
constexpr int kStreamBuffers = 8;

bool isImage(ArvBuffer* buffer) {
    const ArvBufferPayloadType type = arv_buffer_get_payload_type(buffer);
    return (type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA) &&
           arv_buffer_get_n_parts(buffer) >= 1;
}

} // namespace

GenicamStream::GenicamStream(FrameOutlet& frames, const KeptNodes& nodes, double kelvinPerCount,
                             std::string cameraName)
    : frames_(frames), nodes_(nodes), kelvinPerCount_(kelvinPerCount), cameraName_(std::move(cameraName)) {}

bool GenicamStream::open(ArvCamera* camera, int width, int height, guint payload) {
    width_ = width;
    height_ = height;
    GError* error = nullptr;
    GObjectHandle<ArvStream> stream(
        arv_camera_create_stream(camera, &GenicamStream::onStreamEvent, this, &error));
    if (!stream) {
        g_clear_error(&error);
        return false;
    }
    if (ARV_IS_GV_STREAM(stream.get())) {
        g_object_set(stream.get(), "packet-resend", ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
    }
    ArvStream* running = stream.get();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream_ = std::move(stream);
    }
    for (int i = 0; i < kStreamBuffers; ++i) {
        arv_stream_push_buffer(running, arv_buffer_new_allocate(payload));
    }
    return true;
}

GObjectHandle<ArvStream> GenicamStream::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(stream_);
}

void GenicamStream::stop(bool forGood) {
    if (forGood) {
        ended_.store(true);
    }
    acquiring_.store(false);
}

void GenicamStream::waitForDelivery() {
    if (!onStreamThread()) {
        std::lock_guard<std::mutex> delivering(deliveryMutex_);
    }
}

double GenicamStream::droppedInLastMinute() {
    std::lock_guard<std::mutex> lock(lossMutex_);
    return lossReport_.droppedInLastMinute(IncompleteFrameReport::Clock::now());
}

void GenicamStream::printStatistics() const {
    std::fprintf(stderr, "SorvikC: camera %s: %llu frames delivered, %llu incomplete or unusable dropped\n",
                 cameraName_.c_str(), static_cast<unsigned long long>(deliveredFrames_.load()),
                 static_cast<unsigned long long>(droppedFrames_.load()));
}

void GenicamStream::onStreamEvent(void* data, ArvStreamCallbackType type, ArvBuffer*) {
    auto* stream = static_cast<GenicamStream*>(data);
    if (type == ARV_STREAM_CALLBACK_TYPE_INIT) {
        stream->streamThread_.store(std::this_thread::get_id());
    } else if (type == ARV_STREAM_CALLBACK_TYPE_BUFFER_DONE) {
        stream->deliver();
    }
}

void GenicamStream::deliver() {
    ArvStream* stream;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream = stream_.get();
    }
    // The buffer just finished is the oldest in the output queue: every one is taken here.
    ArvBuffer* buffer = stream != nullptr ? arv_stream_try_pop_buffer(stream) : nullptr;
    if (buffer == nullptr) {
        return; // the stream is being stopped
    }
    const std::size_t pixelCount = std::size_t(width_) * std::size_t(height_);
    std::size_t size = 0;
    const void* counts = nullptr;
    if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS && isImage(buffer) &&
        arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_MONO_16 &&
        arv_buffer_get_image_width(buffer) == width_ && arv_buffer_get_image_height(buffer) == height_) {
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
        std::fprintf(stderr, "SorvikC: camera %s: %s\n", cameraName_.c_str(), line.c_str());
    }
    if (counts == nullptr || size < pixelCount * 2) {
        // Incomplete (packets lost for good) or not what was asked for: never handed on half-filled.
        ++droppedFrames_;
    } else {
        std::lock_guard<std::mutex> delivering(deliveryMutex_);
        if (acquiring_.load() && !ended_.load()) {
            handOut(static_cast<const uint16_t*>(counts));
        }
    }
    arv_stream_push_buffer(stream, buffer);
}

void GenicamStream::handOut(const uint16_t* counts) {
    const std::size_t pixelCount = std::size_t(width_) * std::size_t(height_);
    const int format = frames_.format();
    FrameCodeLayout layout;
    layout.zeroCelsiusCode = format == SVK_PIXEL_FORMAT_DIRECT16 ? 0 : 1000;
    const CountScale scale = countScale(kelvinPerCount_, nodes_.userOffset(), layout.zeroCelsiusCode);
    if (format == SVK_PIXEL_FORMAT_RGB_CODE32) {
        layout.firstWord = 1; // the second word of each pixel
        layout.stepWords = 2;
        frame_.resize(pixelCount * 2);
        countsToWideCodes(counts, pixelCount, scale, reinterpret_cast<uint32_t*>(frame_.data()));
    } else {
        frame_.resize(pixelCount);
        countsToCodes(counts, pixelCount, scale, frame_.data());
    }
    const uint16_t* kept = frames_.keep(frame_, layout);
    ++deliveredFrames_;
    frames_.deliverFrame(kept, uint32_t(width_), uint32_t(height_));
}

} // namespace calidra::sorvik
