#pragma once
// One JPEG encoder for every HTTP viewer: encodes the newest picture at most maximumRate times a
// second, only while someone watches, on a thread of its own so neither the station's socket nor
// the HTTP server ever waits for it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace calidra {

using JpegBytes = std::shared_ptr<const std::vector<unsigned char>>;

class SharedJpegEncoder {
public:
    static constexpr int maximumRate = 15;
    // Without pictures from the station, watchers get the "No signal" picture after this long and
    // then once a second, so their connections stay alive and show why nothing moves.
    static constexpr int noSignalAfterMs = 2000;
    static constexpr int jpegQuality = 80;

    // Called on the encoder's thread with each new picture.
    using Delivery = std::function<void(const JpegBytes& jpeg)>;

    SharedJpegEncoder(int width, int height, Delivery delivery);
    ~SharedJpegEncoder();
    SharedJpegEncoder(const SharedJpegEncoder&) = delete;
    SharedJpegEncoder& operator=(const SharedJpegEncoder&) = delete;

    // Keeps a copy of the newest W x H x 3 blue-green-red picture; never waits for the encoder.
    void pushFrame(const unsigned char* bgrPixels);
    // Whether pictures are encoded at the rate (someone watches the moving picture).
    void setWatched(bool watched);
    // The newest picture as JPEG, encoded now when it is newer than the last one; null before the
    // first picture.
    JpegBytes latest();

private:
    void run();
    JpegBytes encodeNewest(std::unique_lock<std::mutex>& lock);

    int width_;
    int height_;
    Delivery delivery_;
    std::vector<unsigned char> noSignal_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<unsigned char> newest_;
    uint64_t newestNumber_ = 0; // 0: no picture yet
    std::chrono::steady_clock::time_point newestArrived_;
    uint64_t encodedNumber_ = 0;
    JpegBytes encoded_;
    bool watched_ = false;
    bool stopping_ = false;
    std::mutex encoderMutex_; // the one encoder, shared by the thread and latest()
    void* encoder_ = nullptr;
    std::thread thread_;
};

} // namespace calidra
