#include "shared_jpeg_encoder.h"

#include "no_signal_picture.h"

#include <turbojpeg.h>

#include <cstring>

namespace calidra {
namespace {

using Clock = std::chrono::steady_clock;

JpegBytes compress(void* encoder, const unsigned char* pixels, int width, int height) {
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(static_cast<tjhandle>(encoder), pixels, width, width * 3, height, TJPF_BGR, &jpeg, &size,
                    TJSAMP_420, SharedJpegEncoder::jpegQuality, TJFLAG_FASTDCT) != 0) {
        tjFree(jpeg);
        return nullptr;
    }
    auto bytes = std::make_shared<std::vector<unsigned char>>(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

} // namespace

SharedJpegEncoder::SharedJpegEncoder(int width, int height, Delivery delivery)
    : width_(width), height_(height), delivery_(std::move(delivery)),
      noSignal_(noSignalPicture(width, height)), encoder_(tjInitCompress()) {
    thread_ = std::thread([this] { run(); });
}

SharedJpegEncoder::~SharedJpegEncoder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (encoder_ != nullptr)
        tjDestroy(static_cast<tjhandle>(encoder_));
}

void SharedJpegEncoder::pushFrame(const unsigned char* bgrPixels) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        newest_.assign(bgrPixels, bgrPixels + std::size_t(width_) * std::size_t(height_) * 3u);
        ++newestNumber_;
        newestArrived_ = Clock::now();
    }
    wake_.notify_all();
}

void SharedJpegEncoder::setWatched(bool watched) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watched_ = watched;
    }
    wake_.notify_all();
}

JpegBytes SharedJpegEncoder::latest() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (newestNumber_ == 0)
        return nullptr;
    return encodedNumber_ == newestNumber_ ? encoded_ : encodeNewest(lock);
}

// Copies the newest picture and encodes it without holding the picture lock, so pushFrame never
// waits for an encoding.
JpegBytes SharedJpegEncoder::encodeNewest(std::unique_lock<std::mutex>& lock) {
    const uint64_t number = newestNumber_;
    std::vector<unsigned char> pixels = newest_;
    lock.unlock();
    JpegBytes jpeg;
    {
        std::lock_guard<std::mutex> encoding(encoderMutex_);
        jpeg = compress(encoder_, pixels.data(), width_, height_);
    }
    lock.lock();
    if (jpeg && number >= encodedNumber_) {
        encodedNumber_ = number;
        encoded_ = jpeg;
    }
    return jpeg;
}

void SharedJpegEncoder::run() {
    const auto interval = std::chrono::microseconds(1000000 / maximumRate);
    const auto noSignalInterval = std::chrono::seconds(1);
    Clock::time_point lastDelivered = Clock::now() - interval;
    Clock::time_point lastNoSignal = Clock::now() - noSignalInterval;
    uint64_t deliveredNumber = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        const bool fresh =
            newestNumber_ != 0 && now - newestArrived_ < std::chrono::milliseconds(noSignalAfterMs);
        if (watched_ && fresh && newestNumber_ != deliveredNumber && now - lastDelivered >= interval) {
            deliveredNumber = newestNumber_;
            const JpegBytes jpeg = encodedNumber_ == newestNumber_ ? encoded_ : encodeNewest(lock);
            lastDelivered = Clock::now();
            if (jpeg) {
                lock.unlock();
                delivery_(jpeg);
                lock.lock();
            }
            continue;
        }
        if (watched_ && !fresh && now - lastNoSignal >= noSignalInterval) {
            lastNoSignal = now;
            lock.unlock();
            JpegBytes jpeg;
            {
                std::lock_guard<std::mutex> encoding(encoderMutex_);
                jpeg = compress(encoder_, noSignal_.data(), width_, height_);
            }
            if (jpeg)
                delivery_(jpeg);
            lock.lock();
            continue;
        }
        // Woken by a picture, a watcher or the stop; otherwise at the next rate or "No signal" tick.
        Clock::time_point until = now + std::chrono::milliseconds(200);
        if (watched_ && newestNumber_ != deliveredNumber && fresh)
            until = std::min(until, lastDelivered + interval);
        wake_.wait_until(lock, until);
    }
}

} // namespace calidra
