#include "capture_session.h"

#include <chrono>
#include <cmath>

namespace calidra::uvc {

namespace {

constexpr uint32_t kBufferCount = 4;
// How long the capture thread waits for a buffer before it looks at its
// requests again: bounds how long close() can take besides a callback.
constexpr int kDequeueTimeoutMs = 100;

int toSvkResult(DeviceResult result) {
    switch (result) {
    case DeviceResult::Ok:
        return SVK_OK;
    case DeviceResult::Gone:
        return SVK_ERROR_DEVICE_GONE;
    case DeviceResult::Unsupported:
        return SVK_ERROR_NOT_FOUND;
    case DeviceResult::Timeout:
    case DeviceResult::Failed:
        break;
    }
    return SVK_ERROR_ACCESS;
}

} // namespace

std::shared_ptr<CaptureSession> CaptureSession::open(DeviceSystem& system, const DiscoveredCamera& camera,
                                                     CaptureSink& sink, ReportSink report, int& result) {
    if (camera.profile == nullptr) {
        result = SVK_ERROR_NOT_FOUND;
        return nullptr;
    }
    DiscoveredCamera current;
    DeviceResult deviceResult = DeviceResult::Ok;
    std::unique_ptr<VideoDevice> device = probeCamera(system, camera.path, current, deviceResult);
    if (!device) {
        result = deviceResult == DeviceResult::Gone ? SVK_ERROR_DEVICE_GONE : toSvkResult(deviceResult);
        return nullptr;
    }
    if (!(current == camera)) {
        result = SVK_ERROR_DEVICE_GONE; // another device took the node since it was listed
        return nullptr;
    }
    std::shared_ptr<CaptureSession> session(
        new CaptureSession(std::move(device), current, sink, std::move(report)));
    result = session->prepare();
    if (result != SVK_OK) {
        return nullptr;
    }
    // The thread keeps its session alive: a session closed from its own
    // callback is destroyed only after that callback has returned.
    session->thread_ = std::thread([session] { session->run(); });
    return session;
}

CaptureSession::CaptureSession(std::unique_ptr<VideoDevice> device, const DiscoveredCamera& camera,
                               CaptureSink& sink, ReportSink report)
    : device_(std::move(device)), camera_(camera), sink_(sink), report_(std::move(report)) {}

CaptureSession::~CaptureSession() {
    close();
}

int CaptureSession::prepare() {
    const StreamMode& mode = camera_.mode;
    DeviceResult result = device_->setFormat(mode.size, format_);
    if (result != DeviceResult::Ok) {
        return toSvkResult(result);
    }
    if (!(format_.size == mode.size) || format_.bytesPerLine < mode.countsWidth * 2 ||
        mode.countsTopRow + mode.countsHeight > format_.size.height) {
        report("USB camera " + camera_.path + ": the device did not accept its documented stream.");
        return SVK_ERROR_ACCESS;
    }
    // Not every device takes a frame rate; its default then applies.
    result = device_->setFrameRate(camera_.profile->framesPerSecond);
    if (result == DeviceResult::Gone) {
        return SVK_ERROR_DEVICE_GONE;
    }
    result = device_->requestBuffers(kBufferCount, bufferCount_);
    if (result != DeviceResult::Ok || bufferCount_ == 0) {
        return result == DeviceResult::Ok ? SVK_ERROR_ACCESS : toSvkResult(result);
    }
    const std::size_t pixels = std::size_t(mode.countsWidth) * mode.countsHeight;
    frame_.assign(pixels * 4, 0);
    workingCodes_.assign(pixels, 0);
    return SVK_OK;
}

void CaptureSession::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach(); // closed from its own callback: the thread ends when that returns
    } else {
        thread_.join();
    }
}

int CaptureSession::setAcquisition(bool enable) {
    if (unplugged_.load()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        acquiring_ = enable;
    }
    wake_.notify_all();
    return SVK_OK;
}

int CaptureSession::setUserOffset(double celsius) {
    if (!std::isfinite(celsius)) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    userOffset_.store(celsius);
    return SVK_OK;
}

int CaptureSession::runFlatFieldCorrection() {
    const std::optional<ExtensionUnitCommand>& command = camera_.profile->flatFieldCorrection;
    if (!command) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    if (unplugged_.load()) {
        return SVK_ERROR_DEVICE_GONE;
    }
    std::lock_guard<std::mutex> lock(controlMutex_);
    uint8_t value = command->value;
    return toSvkResult(
        device_->extensionUnitQuery(command->unit, command->selector, ExtensionQuery::SetCurrent, &value, 1));
}

void CaptureSession::deviceRemoved() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        removed_ = true;
    }
    wake_.notify_all();
}

bool CaptureSession::waitForUnplugDelivered(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return wake_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return unplugDelivered_ || finished_; });
}

void CaptureSession::fireUnplug() {
    if (unplugged_.exchange(true)) {
        return;
    }
    bool closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing = stopping_;
    }
    if (!closing) {
        sink_.cameraGone();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unplugDelivered_ = true;
    }
    wake_.notify_all();
}

void CaptureSession::report(const std::string& line) {
    if (report_) {
        report_(line);
    }
}

bool CaptureSession::startStream() {
    DeviceResult result = DeviceResult::Ok;
    for (uint32_t i = 0; i < bufferCount_ && result == DeviceResult::Ok; ++i) {
        result = device_->queueBuffer(i);
    }
    if (result == DeviceResult::Ok) {
        result = device_->startStreaming();
    }
    if (result == DeviceResult::Ok) {
        streaming_ = true;
        return true;
    }
    if (result == DeviceResult::Gone) {
        fireUnplug();
    } else {
        report("USB camera " + camera_.path + ": the stream did not start.");
        device_->stopStreaming(); // hands back the buffers queued so far
    }
    return false;
}

void CaptureSession::stopStream() {
    device_->stopStreaming();
    streaming_ = false;
}

bool CaptureSession::decode(const DequeuedBuffer& buffer) {
    const std::size_t needed = std::size_t(format_.bytesPerLine) * format_.size.height;
    if (buffer.corrupted || buffer.bytesUsed < needed) {
        ++incomplete_; // never delivered half filled
        return false;
    }
    const StreamMode& mode = camera_.mode;
    const CameraProfile& profile = *camera_.profile;
    CountsImage counts;
    counts.data = buffer.data + std::size_t(mode.countsTopRow) * format_.bytesPerLine;
    counts.width = mode.countsWidth;
    counts.height = mode.countsHeight;
    counts.bytesPerLine = format_.bytesPerLine;
    workingCodes_.resize(std::size_t(mode.countsWidth) * mode.countsHeight); // the sink may have taken them
    const uint16_t highest = decodeCounts(counts, {profile.countsPerKelvin, userOffset_.load()},
                                          sink_.frameFormat(), frame_.data(), workingCodes_.data());
    const FrameVerdict verdict = judgeFrame(profile, highest);
    if (verdict != FrameVerdict::Temperatures) {
        ++refused_;
        if (!refusalReported_) {
            refusalReported_ = true;
            report(refusalMessage(profile, verdict));
        }
        return false;
    }
    refusalReported_ = false; // a later refusal is a new episode, reported again
    sink_.keepCodes(workingCodes_);
    return true;
}

void CaptureSession::run() {
    for (;;) {
        bool wanted;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!streaming_) {
                wake_.wait(lock, [this] { return stopping_ || acquiring_ || removed_; });
            }
            if (stopping_) {
                break;
            }
            if (removed_) {
                lock.unlock();
                fireUnplug();
                break;
            }
            wanted = acquiring_;
        }
        if (wanted != streaming_) {
            if (!wanted) {
                stopStream();
                continue;
            }
            if (!startStream()) {
                if (unplugged_.load()) {
                    break;
                }
                std::lock_guard<std::mutex> lock(mutex_);
                acquiring_ = false; // the caller's next acquisition start tries again
                continue;
            }
        }
        DequeuedBuffer buffer;
        const DeviceResult result = device_->dequeueBuffer(kDequeueTimeoutMs, buffer);
        if (result == DeviceResult::Timeout) {
            continue;
        }
        if (result == DeviceResult::Gone) {
            fireUnplug();
            break;
        }
        if (result != DeviceResult::Ok) {
            ++incomplete_;
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stopping_; });
            continue;
        }
        const bool deliver = decode(buffer);
        if (device_->queueBuffer(buffer.index) == DeviceResult::Gone) {
            fireUnplug();
            break;
        }
        if (!deliver) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_ || !acquiring_) {
                continue;
            }
        }
        ++delivered_;
        sink_.frameDecoded(frame_.data(), width(), height());
    }
    if (streaming_) {
        stopStream();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
}

} // namespace calidra::uvc
