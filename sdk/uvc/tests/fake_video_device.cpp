#include "fake_video_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

namespace calidra::uvc::testing {

void FakeCamera::setFrame(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_ = std::move(bytes);
}

std::vector<ExtensionRequest> FakeCamera::extensionRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return extensionRequests_;
}

int FakeCamera::opens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
}

class FakeVideoDevice : public VideoDevice {
public:
    explicit FakeVideoDevice(std::shared_ptr<FakeCamera> camera) : camera_(std::move(camera)) {}

    DeviceResult identity(DeviceIdentity& identity) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        if (!camera_->attached_) {
            return DeviceResult::Gone;
        }
        const FakeCameraSpec& spec = camera_->spec_;
        identity.card = spec.card;
        identity.busInfo = spec.busInfo;
        identity.vendorId = spec.vendorId;
        identity.productId = spec.productId;
        identity.serial = spec.serial;
        identity.canCapture = !spec.sizes.empty();
        return DeviceResult::Ok;
    }

    DeviceResult frameSizes(std::vector<FrameSize>& sizes) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        sizes = camera_->spec_.sizes;
        return camera_->attached_ ? DeviceResult::Ok : DeviceResult::Gone;
    }

    DeviceResult setFormat(const FrameSize& wanted, ActiveFormat& active) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        const std::vector<FrameSize>& sizes = camera_->spec_.sizes;
        if (std::find(sizes.begin(), sizes.end(), wanted) == sizes.end()) {
            return DeviceResult::Unsupported;
        }
        // YUYV and Y16 both carry two bytes per pixel.
        active = {wanted, wanted.width * 2, wanted.width * 2 * wanted.height};
        format_ = active;
        return DeviceResult::Ok;
    }

    DeviceResult setFrameRate(uint32_t) override { return DeviceResult::Ok; }

    DeviceResult requestBuffers(uint32_t count, uint32_t& granted) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        buffers_.assign(count, std::vector<uint8_t>(format_.imageBytes));
        granted = count;
        return DeviceResult::Ok;
    }

    DeviceResult queueBuffer(uint32_t index) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        if (!camera_->attached_) {
            return DeviceResult::Gone;
        }
        if (index >= buffers_.size() || std::count(queued_.begin(), queued_.end(), index) != 0) {
            return DeviceResult::Failed;
        }
        queued_.push_back(index);
        return DeviceResult::Ok;
    }

    DeviceResult dequeueBuffer(int timeoutMs, DequeuedBuffer& buffer) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock<std::mutex> lock(camera_->mutex_);
        for (;;) {
            if (!camera_->attached_) {
                return DeviceResult::Gone;
            }
            const auto now = Clock::now();
            if (streaming_ && !queued_.empty() && now >= nextFrame_) {
                break;
            }
            if (now >= deadline) {
                return DeviceResult::Timeout;
            }
            camera_->changed_.wait_until(lock, streaming_ ? std::min(deadline, nextFrame_) : deadline);
        }
        nextFrame_ += std::chrono::microseconds(1000000 / std::max(1, camera_->spec_.framesPerSecond));
        const uint32_t index = queued_.front();
        queued_.pop_front();
        std::vector<uint8_t>& storage = buffers_[index];
        const std::vector<uint8_t>& frame = camera_->frame_;
        std::memcpy(storage.data(), frame.data(), std::min(frame.size(), storage.size()));
        buffer.index = index;
        buffer.data = storage.data();
        buffer.bytesUsed = uint32_t(std::min(frame.size(), storage.size()));
        buffer.corrupted = false;
        return DeviceResult::Ok;
    }

    DeviceResult startStreaming() override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        if (!camera_->attached_) {
            return DeviceResult::Gone;
        }
        streaming_ = true;
        nextFrame_ = Clock::now();
        return DeviceResult::Ok;
    }

    DeviceResult stopStreaming() override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        streaming_ = false;
        queued_.clear();
        return camera_->attached_ ? DeviceResult::Ok : DeviceResult::Gone;
    }

    DeviceResult setControl(uint32_t, int32_t) override { return DeviceResult::Unsupported; }

    DeviceResult extensionUnitQuery(uint8_t unit, uint8_t selector, ExtensionQuery query, uint8_t* data,
                                    uint16_t size) override {
        std::lock_guard<std::mutex> lock(camera_->mutex_);
        if (!camera_->attached_) {
            return DeviceResult::Gone;
        }
        camera_->extensionRequests_.push_back(
            {unit, selector, query, std::vector<uint8_t>(data, data + size)});
        return DeviceResult::Ok;
    }

private:
    using Clock = std::chrono::steady_clock;

    const std::shared_ptr<FakeCamera> camera_;
    // Guarded by the camera's mutex, so an unplug wakes a waiting dequeue.
    ActiveFormat format_;
    std::vector<std::vector<uint8_t>> buffers_;
    std::deque<uint32_t> queued_;
    bool streaming_ = false;
    Clock::time_point nextFrame_;
};

void FakeDeviceSystem::plug(const std::string& path, std::shared_ptr<FakeCamera> camera) {
    {
        std::lock_guard<std::mutex> lock(camera->mutex_);
        camera->attached_ = true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_[path] = std::move(camera);
}

void FakeDeviceSystem::unplug(const std::string& path) {
    std::shared_ptr<FakeCamera> camera;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = plugged_.find(path);
        if (it == plugged_.end()) {
            return;
        }
        camera = it->second;
        plugged_.erase(it);
    }
    std::lock_guard<std::mutex> lock(camera->mutex_);
    camera->attached_ = false;
    camera->changed_.notify_all();
}

std::vector<DeviceEntry> FakeDeviceSystem::listDevices() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeviceEntry> entries;
    for (const auto& [path, camera] : plugged_) {
        entries.push_back({path, camera->spec().vendorId, camera->spec().productId});
    }
    return entries;
}

std::unique_ptr<VideoDevice> FakeDeviceSystem::open(const std::string& path, DeviceResult& result) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = plugged_.find(path);
    if (it == plugged_.end()) {
        result = DeviceResult::Gone;
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> cameraLock(it->second->mutex_);
        ++it->second->opens_;
    }
    result = DeviceResult::Ok;
    return std::make_unique<FakeVideoDevice>(it->second);
}

} // namespace calidra::uvc::testing
