#include "capture_session.h"
#include "device_watcher.h"
#include "fake_video_device.h"
#include "frame_layouts.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace calidra::uvc;
using namespace calidra::uvc::testing;
using namespace std::chrono_literals;

namespace {

using calidra::test::waitFor;

constexpr auto kPatience = calidra::test::kEventDeadline;

std::shared_ptr<FakeCamera> infiRayCamera(std::string serial = "P2-0001", int framesPerSecond = 200) {
    FakeCameraSpec spec;
    spec.vendorId = 0x0bda;
    spec.productId = 0x5830;
    spec.serial = std::move(serial);
    spec.sizes = {{V4L2_PIX_FMT_YUYV, 256, 192}, {V4L2_PIX_FMT_YUYV, 256, 384}};
    spec.framesPerSecond = framesPerSecond;
    auto camera = std::make_shared<FakeCamera>(spec);
    camera->setFrame(infiRayDualFrame(Scene(256, 192, 24.0), 0x80));
    return camera;
}

std::shared_ptr<FakeCamera> leptonCamera(uint32_t width, uint32_t height) {
    FakeCameraSpec spec;
    spec.vendorId = 0x1e4e;
    spec.productId = 0x0100;
    spec.serial = "v1.0.0";
    spec.sizes = {{V4L2_PIX_FMT_UYVY, width, height}, {V4L2_PIX_FMT_Y16, width, height}};
    return std::make_shared<FakeCamera>(spec);
}

// Frames, codes and lines a session hands out, kept for the test's thread.
class Receiver : public CaptureSink {
public:
    int frameFormat() const override { return format_.load(); }
    void keepCodes(std::vector<uint16_t>& codes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_.swap(codes);
        hasLatest_ = true;
    }
    void frameDecoded(const void* data, uint32_t width, uint32_t height) override {
        if (duringFrame) {
            duringFrame();
            return;
        }
        const auto* bytes = static_cast<const uint8_t*>(data);
        std::lock_guard<std::mutex> lock(mutex_);
        last_.assign(bytes, bytes + std::size_t(width) * height * bytesPerPixel_);
        ++frames_;
        changed_.notify_all();
    }
    void cameraGone() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++unplugs_;
        changed_.notify_all();
    }
    CaptureSession::ReportSink report() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        };
    }

    // Frames decoded from now on are in format.
    void setFormat(int format) {
        std::lock_guard<std::mutex> lock(mutex_);
        format_.store(format);
        bytesPerPixel_ = format == SVK_PIXEL_FORMAT_RGB_CODE32 ? 4 : 2;
    }
    bool latestCodes(std::vector<uint16_t>& codes) {
        std::lock_guard<std::mutex> lock(mutex_);
        codes = latest_;
        return hasLatest_;
    }
    // Waits for `count` more frames; the last one's bytes.
    std::vector<uint8_t> nextFrames(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        const int target = frames_ + count;
        EXPECT_TRUE(changed_.wait_for(lock, kPatience, [&] { return frames_ >= target; }));
        return last_;
    }
    bool waitForUnplugs(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return unplugs_ >= count; });
    }
    int frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }
    int unplugs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return unplugs_;
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    // Runs on the capture thread instead of keeping the frame; set before acquisition starts.
    std::function<void()> duringFrame;

private:
    std::atomic<int> format_{SVK_PIXEL_FORMAT_RGB_CODE32};
    std::vector<uint16_t> latest_;
    bool hasLatest_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    int frames_ = 0;
    int unplugs_ = 0;
    std::size_t bytesPerPixel_ = 4;
    std::vector<uint8_t> last_;
    std::vector<std::string> lines_;
};

uint16_t codeAt(const std::vector<uint8_t>& frame, uint32_t width, uint32_t x, uint32_t y, int format) {
    const std::size_t bytes = format == SVK_PIXEL_FORMAT_RGB_CODE32 ? 4 : 2;
    const std::size_t offset = (std::size_t(y) * width + x) * bytes + (bytes == 4 ? 2 : 0);
    return uint16_t(frame[offset] | (frame[offset + 1] << 8));
}

class UvcCapture : public ::testing::Test {
protected:
    std::shared_ptr<CaptureSession> openAt(const std::string& path, Receiver& receiver) {
        DiscoveredCamera camera;
        DeviceResult probed;
        EXPECT_TRUE(probeCamera(system_, path, camera, probed));
        int result = -1;
        auto session = CaptureSession::open(system_, camera, receiver, receiver.report(), result);
        EXPECT_EQ(result, SVK_OK);
        return session;
    }

    FakeDeviceSystem system_;
};

} // namespace

TEST_F(UvcCapture, InfiRayFramesCarryTheSceneOnEachScaleWithThePictureHalfIgnored) {
    Scene scene(256, 192, 24.0);
    scene.fill(100, 60, 140, 110, 38.2); // a face
    scene.at(0, 0) = -20.0;              // the high-gain range's ends
    scene.at(255, 191) = 150.0;
    auto camera = infiRayCamera();
    camera->setFrame(infiRayDualFrame(scene, 0x00));
    system_.plug("/dev/video0", camera);
    Receiver receiver;
    auto session = openAt("/dev/video0", receiver);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->width(), 256u);
    EXPECT_EQ(session->height(), 192u);
    ASSERT_EQ(session->setAcquisition(true), SVK_OK);

    struct Case {
        int format;
        uint16_t face, coldest, hottest, background;
    };
    for (const Case& c : {Case{SVK_PIXEL_FORMAT_DIRECT16, 382, 0, 1500, 240},
                          Case{SVK_PIXEL_FORMAT_OFFSET16, 1382, 800, 2500, 1240},
                          Case{SVK_PIXEL_FORMAT_RGB_CODE32, 1382, 800, 2500, 1240}}) {
        SCOPED_TRACE(c.format);
        receiver.setFormat(c.format);
        const std::vector<uint8_t> frame = receiver.nextFrames(2);
        EXPECT_EQ(codeAt(frame, 256, 120, 85, c.format), c.face);
        EXPECT_EQ(codeAt(frame, 256, 0, 0, c.format), c.coldest); // -20 C has no direct code: clamped to 0
        EXPECT_EQ(codeAt(frame, 256, 255, 191, c.format), c.hottest);
        EXPECT_EQ(codeAt(frame, 256, 30, 150, c.format), c.background);
    }

    // The picture half read as counts would be 0 or 65535 everywhere.
    const std::vector<uint8_t> withDarkPicture = receiver.nextFrames(2);
    camera->setFrame(infiRayDualFrame(scene, 0xFF));
    receiver.nextFrames(2);
    EXPECT_EQ(receiver.nextFrames(1), withDarkPicture);
    EXPECT_EQ(session->refusedFrames(), 0u);

    ASSERT_EQ(session->setUserOffset(0.5), SVK_OK); // "UserCompensationParaB"
    receiver.nextFrames(2);
    EXPECT_EQ(codeAt(receiver.nextFrames(1), 256, 120, 85, SVK_PIXEL_FORMAT_RGB_CODE32), 1387);
    std::vector<uint16_t> latest;
    ASSERT_TRUE(receiver.latestCodes(latest));
    EXPECT_EQ(latest[85 * 256 + 120], 1387);
    session->close();
}

TEST_F(UvcCapture, LeptonFramesCarryTheSceneAtBothSizes) {
    for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{160, 120}, {80, 60}}) {
        SCOPED_TRACE(width);
        Scene scene(width, height, 22.0);
        scene.fill(width / 3, height / 3, width / 2, height / 2, 38.2);
        scene.at(0, 0) = -10.0;
        scene.at(width - 1, height - 1) = 140.0;
        auto camera = leptonCamera(width, height);
        camera->setFrame(leptonFrame(scene));
        system_.plug("/dev/video2", camera);
        Receiver receiver;
        auto session = openAt("/dev/video2", receiver);
        ASSERT_TRUE(session);
        receiver.setFormat(SVK_PIXEL_FORMAT_OFFSET16);
        session->setAcquisition(true);
        const std::vector<uint8_t> frame = receiver.nextFrames(2);
        EXPECT_EQ(codeAt(frame, width, width / 3 + 1, height / 3 + 1, SVK_PIXEL_FORMAT_OFFSET16), 1382);
        EXPECT_EQ(codeAt(frame, width, 0, 0, SVK_PIXEL_FORMAT_OFFSET16), 900);
        EXPECT_EQ(codeAt(frame, width, width - 1, height - 1, SVK_PIXEL_FORMAT_OFFSET16), 2400);
        session->close();
        system_.unplug("/dev/video2");
    }
}

TEST_F(UvcCapture, RefusedFramesAreReportedOnceAndNeverDelivered) {
    Scene hotScene(256, 192, 24.0);
    hotScene.at(10, 10) = 300.0; // only the low-gain range reads this
    auto infiRay = infiRayCamera();
    infiRay->setFrame(infiRayDualFrame(hotScene, 0x80));
    auto lepton = leptonCamera(160, 120);
    lepton->setFrame(leptonRawFrame(160, 120, 8000));
    system_.plug("/dev/video0", infiRay);
    system_.plug("/dev/video2", lepton);

    for (const char* path : {"/dev/video0", "/dev/video2"}) {
        SCOPED_TRACE(path);
        Receiver receiver;
        auto session = openAt(path, receiver);
        ASSERT_TRUE(session);
        session->setAcquisition(true);
        ASSERT_TRUE(waitFor([&] { return session->refusedFrames() >= 10; }));
        EXPECT_EQ(receiver.frames(), 0);
        ASSERT_EQ(receiver.lines().size(), 1u);
        EXPECT_NE(receiver.lines()[0].find("not used"), std::string::npos) << receiver.lines()[0];
        std::vector<uint16_t> latest;
        EXPECT_FALSE(receiver.latestCodes(latest));
        session->close();
    }

    // Back in range, frames flow again.
    Receiver receiver;
    lepton->setFrame(leptonFrame(Scene(160, 120, 30.0)));
    auto session = openAt("/dev/video2", receiver);
    ASSERT_TRUE(session);
    session->setAcquisition(true);
    receiver.nextFrames(1);
    EXPECT_TRUE(receiver.lines().empty());
    session->close();
}

TEST_F(UvcCapture, FlatFieldCorrectionRunsTheDocumentedCommandOrIsUnknown) {
    auto lepton = leptonCamera(160, 120);
    auto infiRay = infiRayCamera();
    system_.plug("/dev/video0", infiRay);
    system_.plug("/dev/video2", lepton);
    Receiver receiver;
    auto leptonSession = openAt("/dev/video2", receiver);
    auto infiRaySession = openAt("/dev/video0", receiver);
    ASSERT_TRUE(leptonSession && infiRaySession);

    EXPECT_EQ(leptonSession->runFlatFieldCorrection(), SVK_OK);
    const std::vector<ExtensionRequest> requests = lepton->extensionRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].unit, 6);      // the Lepton SYS module
    EXPECT_EQ(requests[0].selector, 17); // FLR_CID_SYS_RUN_FFC 0x0242
    EXPECT_EQ(requests[0].query, ExtensionQuery::SetCurrent);
    EXPECT_EQ(requests[0].data.size(), 1u);

    EXPECT_EQ(infiRaySession->runFlatFieldCorrection(), SVK_ERROR_UNKNOWN_NODE);
    EXPECT_TRUE(infiRay->extensionRequests().empty());
    leptonSession->close();
    infiRaySession->close();
}

TEST_F(UvcCapture, PlugAndUnplugAreNoticedByTheWatcherAndTheSession) {
    FakeCameraSpec webcam; // a USB camera of no known kind
    webcam.vendorId = 0x046d;
    webcam.productId = 0x0825;
    webcam.sizes = {{V4L2_PIX_FMT_YUYV, 640, 480}};
    auto otherCamera = std::make_shared<FakeCamera>(webcam);
    system_.plug("/dev/video1", otherCamera);

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<DeviceChange, std::string>> changes;
    DeviceWatcher watcher(system_, WatchOptions{{}, true, 20},
                          [&](DeviceChange change, const DiscoveredCamera& camera) {
                              std::lock_guard<std::mutex> lock(mutex);
                              changes.emplace_back(change, camera.identityText());
                              changed.notify_all();
                          });
    const auto waitForChange = [&](std::size_t index) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_for(lock, kPatience, [&] { return changes.size() > index; })) {
            return std::make_pair(DeviceChange::Removed, std::string("(nothing)"));
        }
        return changes[index];
    };
    const auto added = std::make_pair(DeviceChange::Added, std::string("P2-0001"));
    const auto removed = std::make_pair(DeviceChange::Removed, std::string("P2-0001"));
    watcher.start();
    EXPECT_TRUE(watcher.cameras().empty());

    system_.plug("/dev/video4", infiRayCamera("P2-0001"));
    ASSERT_EQ(waitForChange(0), added);
    ASSERT_EQ(watcher.cameras().size(), 1u);

    Receiver receiver;
    int result = -1;
    auto session = CaptureSession::open(system_, watcher.cameras()[0], receiver, receiver.report(), result);
    ASSERT_EQ(result, SVK_OK);
    session->setAcquisition(true);
    receiver.nextFrames(1);

    system_.unplug("/dev/video4");
    EXPECT_TRUE(receiver.waitForUnplugs(1));
    EXPECT_EQ(waitForChange(1), removed);
    session->deviceRemoved(); // as the provider passes the watcher's news on
    EXPECT_EQ(session->setAcquisition(true), SVK_ERROR_DEVICE_GONE);

    system_.plug("/dev/video5", infiRayCamera("P2-0001"));
    EXPECT_EQ(waitForChange(2), added);
    watcher.stop();
    session->close();
    EXPECT_EQ(receiver.unplugs(), 1);
    EXPECT_EQ(otherCamera->opens(), 0); // discovery opens only known USB ids

    // A configured node no profile fits is listed, without a profile.
    DeviceWatcher configured(system_, WatchOptions{{"/dev/video1"}, false, 20}, nullptr);
    configured.start();
    ASSERT_EQ(configured.cameras().size(), 1u);
    EXPECT_EQ(configured.cameras()[0].profile, nullptr);
}

TEST_F(UvcCapture, CloseDuringCaptureJoinsAndNoCallbackFollows) {
    system_.plug("/dev/video0", infiRayCamera("P2-0001", 1000));
    struct Probe {
        std::atomic<bool> closed{false};
        std::atomic<int> calls{0};
        std::atomic<int> late{0};
    };
    for (int round = 0; round < 10; ++round) {
        Probe probe;
        Receiver receiver;
        auto session = openAt("/dev/video0", receiver);
        ASSERT_TRUE(session);
        receiver.duringFrame = [&probe] {
            std::this_thread::sleep_for(1ms); // a callback with some work, so a close can meet it
            ++probe.calls;
            if (probe.closed.load()) {
                ++probe.late;
            }
        };
        session->setAcquisition(true);
        ASSERT_TRUE(waitFor([&] { return probe.calls.load() >= 3; }));
        session->close();
        probe.closed = true;
        std::this_thread::sleep_for(20ms); // twenty frames' time in which none may come
        EXPECT_EQ(probe.late.load(), 0);
    }

    // Closed from its own frame callback: that callback is the last one.
    struct SelfClosing {
        CaptureSession* session = nullptr;
        std::atomic<int> calls{0};
    } selfClosing;
    Receiver receiver;
    auto session = openAt("/dev/video0", receiver);
    ASSERT_TRUE(session);
    selfClosing.session = session.get();
    receiver.duringFrame = [&selfClosing] {
        ++selfClosing.calls;
        selfClosing.session->close();
    };
    session->setAcquisition(true);
    ASSERT_TRUE(waitFor([&] { return selfClosing.calls.load() >= 1; }));
    std::this_thread::sleep_for(30ms); // thirty frames' time in which no second call may come
    EXPECT_EQ(selfClosing.calls.load(), 1);
    std::weak_ptr<CaptureSession> gone = session;
    session.reset();
    EXPECT_TRUE(waitFor([&] { return gone.expired(); })); // its thread let go of it
}
