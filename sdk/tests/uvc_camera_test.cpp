// USB radiometric cameras through the C contract, with a fake device system
// standing in for /dev/video*: frames built from the cameras' documented layouts.
#include "svk.h"

#include "fake_video_device.h"
#include "frame_layouts.h"
#include "testsupport/wait.h"
#include "uvc_device_choice.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using calidra::uvc::testing::FakeCamera;
using calidra::uvc::testing::FakeCameraSpec;
using calidra::uvc::testing::FakeDeviceSystem;
using calidra::uvc::testing::Scene;
using namespace std::chrono_literals;

constexpr int kRecheckMs = 50;
constexpr auto kPatience = calidra::test::kEventDeadline;

// A 38.2 degree face on a 22 degree background, in the P2's 256 x 192 counts.
Scene faceScene(uint32_t width, uint32_t height) {
    Scene scene(width, height, 22.0);
    scene.fill(width / 3, height / 3, width / 2, height / 2, 38.2);
    return scene;
}

std::shared_ptr<FakeCamera> infiRayCamera(const std::string& serial) {
    FakeCameraSpec spec;
    spec.vendorId = 0x0bda;
    spec.productId = 0x5830;
    spec.serial = serial;
    spec.card = "USB Camera";
    spec.sizes = {{V4L2_PIX_FMT_YUYV, 256, 192}, {V4L2_PIX_FMT_YUYV, 256, 384}};
    auto camera = std::make_shared<FakeCamera>(spec);
    camera->setFrame(calidra::uvc::testing::infiRayDualFrame(faceScene(256, 192), 0xFF));
    return camera;
}

std::shared_ptr<FakeCamera> leptonCamera(const std::string& busInfo) {
    FakeCameraSpec spec;
    spec.vendorId = 0x1e4e;
    spec.productId = 0x0100;
    spec.serial = "v1.0.0"; // every PureThermal board's
    spec.busInfo = busInfo;
    spec.card = "PureThermal (fw:v1.3.0)";
    spec.sizes = {{V4L2_PIX_FMT_Y16, 160, 120}};
    auto camera = std::make_shared<FakeCamera>(spec);
    camera->setFrame(calidra::uvc::testing::leptonFrame(faceScene(160, 120)));
    return camera;
}

std::shared_ptr<FakeCamera> webcam() {
    FakeCameraSpec spec;
    spec.vendorId = 0x046d;
    spec.productId = 0x0825;
    spec.serial = "WEBCAM1";
    spec.card = "Webcam C270";
    spec.sizes = {{V4L2_PIX_FMT_YUYV, 640, 480}};
    return std::make_shared<FakeCamera>(spec);
}

// What the callbacks delivered, in order.
struct Observer {
    std::mutex mutex;
    std::condition_variable changed;
    int format = SVK_PIXEL_FORMAT_RGB_CODE32;
    std::vector<uint16_t> codes; // the newest frame's, one per pixel
    uint32_t width = 0;
    int frames = 0;
    std::atomic<bool> inFrame{false};
    std::vector<std::string> events; // "unplug", "added", "removed"

    static void onFrame(const SvkFrameRecord* frame, void* context) {
        auto* self = static_cast<Observer*>(context);
        self->inFrame.store(true);
        const auto* words = static_cast<const uint16_t*>(frame->data);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            const std::size_t pixels = std::size_t(frame->width) * frame->height;
            const bool wide = self->format == SVK_PIXEL_FORMAT_RGB_CODE32;
            self->codes.resize(pixels);
            for (std::size_t i = 0; i < pixels; ++i) {
                self->codes[i] = wide ? words[2 * i + 1] : words[i];
            }
            self->width = frame->width;
            ++self->frames;
        }
        self->changed.notify_all();
        std::this_thread::sleep_for(2ms); // a callback with some work, so a close can meet it
        self->inFrame.store(false);
    }
    static void onUnplug(void* context) { static_cast<Observer*>(context)->note("unplug"); }
    static void onDeviceCheck(int state, void* context) {
        static_cast<Observer*>(context)->note(state == 0 ? "added" : "removed");
    }
    void note(const char* event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.emplace_back(event);
        changed.notify_all();
    }

    template <typename Predicate> bool waitUntil(Predicate done) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, kPatience, [&] { return done(); });
    }
    // The code at (x, y) of a frame that arrived after this call, in format.
    uint16_t freshCodeAt(uint32_t x, uint32_t y) {
        std::unique_lock<std::mutex> lock(mutex);
        const int wanted = frames + 2; // the first may have been converted before a change
        if (!changed.wait_for(lock, kPatience, [&] { return frames >= wanted; })) {
            return 0;
        }
        return codes[std::size_t(y) * width + x];
    }
    void expectFormat(int newFormat) {
        std::lock_guard<std::mutex> lock(mutex);
        format = newFormat;
    }
    std::vector<std::string> eventList() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    int frameCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
};

class UvcCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/uvc_camera_test.XXXXXX";
        folder_ = ::mkdtemp(pattern);
        ::unsetenv("SORVIK_SIM_SCENARIO");
        calidra::sorvik::useUvcDeviceSystem(&devices_, kRecheckMs);
    }
    void TearDown() override {
        svkUninit();
        calidra::sorvik::useUvcDeviceSystem(nullptr, 0);
        ::unsetenv("SORVIK_CONFIG");
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    int startLibrary(const std::string& configuration) {
        const std::string path = folder_ + "/SorvikC.json";
        std::ofstream(path, std::ios::binary) << configuration;
        ::setenv("SORVIK_CONFIG", path.c_str(), 1);
        const int result = svkInit();
        svkSetDeviceCheckCallback(&Observer::onDeviceCheck, &observer_);
        return result;
    }

    std::vector<SvkCameraInfo> cameras() {
        int count = 0;
        EXPECT_EQ(svkGetCameraCount(&count), 0);
        std::vector<SvkCameraInfo> records(std::size_t(std::max(count, 0)));
        if (count > 0) {
            EXPECT_EQ(svkGetCameraInfo(records.data(), count), 0);
        }
        return records;
    }

    SvkHandle openAndStream(const char* openKey, int format) {
        SvkHandle handle = nullptr;
        EXPECT_EQ(svkOpen(openKey, &handle, 0), 0);
        observer_.expectFormat(format);
        EXPECT_EQ(svkSetPixelFormat(handle, format), 0);
        EXPECT_EQ(svkSetFrameCallback(handle, &Observer::onFrame, &observer_), 0);
        EXPECT_EQ(svkSetUnplugCallback(handle, &Observer::onUnplug, &observer_), 0);
        EXPECT_EQ(svkSetAcquisition(handle, 1), 0);
        return handle;
    }

    std::string folder_;
    FakeDeviceSystem devices_;
    Observer observer_;
};

} // namespace

TEST_F(UvcCameraTest, RecognisedCamerasAreListedBeforeTheSimulatedOneAndOnlyTheyOpen) {
    devices_.plug("/dev/video2", infiRayCamera("16F0U001"));
    devices_.plug("/dev/video4", leptonCamera("usb-0000:00:14.0-3"));
    devices_.plug("/dev/video6", webcam());
    devices_.plug("/dev/video8", webcam()); // neither named nor recognised: not offered
    ASSERT_EQ(startLibrary(R"({ "simulator": true,
        "uvc": { "devices": ["/dev/video6", "/dev/video9"], "discover": true } })"),
              0);

    const auto records = cameras();
    ASSERT_EQ(records.size(), 4u);
    // The named node first, then the discovered ones; the simulated camera last.
    EXPECT_EQ(records[0].kind, 0) << "no profile: listed, never used for temperatures";
    EXPECT_STREQ(records[0].model, "Webcam C270");
    EXPECT_EQ(records[1].kind, 2);
    EXPECT_STREQ(records[1].identity, "16F0U001");
    EXPECT_STREQ(records[1].model, "InfiRay P2 / P2 Pro / TOPDON TC001");
    EXPECT_STREQ(records[1].label, "USB Camera");
    EXPECT_STREQ(records[1].openKey, "uvc:16F0U001");
    EXPECT_EQ(records[2].kind, 2);
    EXPECT_STREQ(records[2].identity, "usb-0000:00:14.0-3") << "a serial every board shares tells nothing";
    EXPECT_STREQ(records[2].model, "FLIR Lepton 3.5 / 2.5 on PureThermal");
    EXPECT_EQ(std::string(records[3].openKey).rfind("sim:", 0), 0u);

    SvkHandle handle = nullptr;
    EXPECT_NE(svkOpen(records[0].openKey, &handle, 0), 0) << "a camera without profile is not opened";
    EXPECT_EQ(svkOpen("uvc:NOSUCHCAMERA", &handle, 0), SVK_ERROR_NOT_FOUND);
    ASSERT_EQ(svkOpen(records[1].openKey, &handle, 0), 0);
    SvkHandle second = nullptr;
    EXPECT_NE(svkOpen(records[1].openKey, &second, 0), 0) << "one session per camera";
    SvkImageSize size{};
    ASSERT_EQ(svkGetImageSize(handle, &size), 0);
    EXPECT_EQ(size.width, 256) << "the temperature half only";
    EXPECT_EQ(size.height, 192);
    EXPECT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), SVK_ERROR_UNKNOWN_NODE)
        << "no shutter command is known to work on the P2 family";
    EXPECT_EQ(svkClose(handle), 0);

    // The Lepton's flat-field correction is its documented extension-unit command.
    auto lepton = leptonCamera("usb-0000:00:14.0-5");
    devices_.plug("/dev/video10", lepton);
    ASSERT_TRUE(observer_.waitUntil([&] { return !observer_.events.empty(); }));
    ASSERT_EQ(svkOpen("uvc:usb-0000:00:14.0-5", &handle, 0), 0);
    SvkNodeInfo info{};
    EXPECT_EQ(svkGetNodeInfo(handle, "NUCManualRun", &info), 0);
    EXPECT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), 0);
    const auto requests = lepton->extensionRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].unit, 6);
    EXPECT_EQ(requests[0].selector, 17);
    EXPECT_EQ(svkClose(handle), 0);
}

TEST_F(UvcCameraTest, TemperaturesArriveInEachFormatWithTheOffsetAppliedAndThePalettePainted) {
    devices_.plug("/dev/video0", infiRayCamera("16F0U001"));
    ASSERT_EQ(startLibrary(R"({ "uvc": { "devices": ["/dev/video0"] } })"), 0);
    const SvkHandle handle = openAndStream("uvc:16F0U001", SVK_PIXEL_FORMAT_OFFSET16);
    const uint32_t faceX = 256 / 3 + 5, faceY = 192 / 3 + 5;

    // 38.2 C, to the counts' 1/64 K: code 1382 on the offset scale, 382 on the direct one.
    EXPECT_EQ(observer_.freshCodeAt(faceX, faceY), 1382);
    EXPECT_EQ(observer_.freshCodeAt(5, 5), 1220) << "22 C background; the picture half is not read";
    for (int format : {SVK_PIXEL_FORMAT_DIRECT16, SVK_PIXEL_FORMAT_RGB_CODE32}) {
        SCOPED_TRACE(format);
        observer_.expectFormat(format);
        ASSERT_EQ(svkSetPixelFormat(handle, format), 0);
        EXPECT_EQ(observer_.freshCodeAt(faceX, faceY), format == SVK_PIXEL_FORMAT_DIRECT16 ? 382 : 1382);
    }

    SvkNodeInfo info{};
    ASSERT_EQ(svkGetNodeInfo(handle, "UserCompensationParaB", &info), 0);
    ASSERT_EQ(svkSetNodeFloat(handle, "UserCompensationParaB", 1.5), 0);
    SvkFloatRecord offset{};
    ASSERT_EQ(svkGetNodeFloat(handle, "UserCompensationParaB", &offset), 0);
    EXPECT_DOUBLE_EQ(offset.value, 1.5);
    EXPECT_EQ(observer_.freshCodeAt(faceX, faceY), 1397) << "39.7 C with the offset";

    // The camera's picture in two palettes: the same frame, other colours.
    std::vector<unsigned char> first(256 * 192 * 3), second(256 * 192 * 3);
    ASSERT_EQ(svkSetNodeEnum(handle, "ImageColorPalette", "Gray"), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 0), 0);
    ASSERT_EQ(svkGetRGBData(handle, first.data(), int(first.size())), 0);
    ASSERT_EQ(svkSetNodeEnum(handle, "ImageColorPalette", "Iron"), 0);
    ASSERT_EQ(svkGetRGBData(handle, second.data(), int(second.size())), 0);
    EXPECT_NE(first, second);
    SvkEnumRecord palettes{};
    palettes.capacity = SVK_ENUM_CAPACITY;
    ASSERT_EQ(svkGetNodeEnum(handle, "ImageColorPalette", &palettes), 0);
    EXPECT_STREQ(palettes.entries[palettes.currentIndex], "Iron");
    EXPECT_EQ(svkSetNodeEnum(handle, "NUCMode", "Manual"), 0);
    EXPECT_EQ(svkSetNodeInt(handle, "NUCAutoPeriodicTime", 10), 0);
    EXPECT_EQ(svkClose(handle), 0);
}

TEST_F(UvcCameraTest, PlugAndUnplugFireTheUnplugCallbackBeforeDeviceCheckRemoved) {
    auto camera = infiRayCamera("16F0U001");
    devices_.plug("/dev/video0", camera);
    ASSERT_EQ(startLibrary(R"({ "uvc": { "discover": true } })"), 0);
    ASSERT_EQ(cameras().size(), 1u);

    // Pulled while idle: only the watcher notices.
    SvkHandle handle = nullptr;
    ASSERT_EQ(svkOpen("uvc:16F0U001", &handle, 0), 0);
    ASSERT_EQ(svkSetUnplugCallback(handle, &Observer::onUnplug, &observer_), 0);
    devices_.unplug("/dev/video0");
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.events.size() >= 2; }));
    EXPECT_EQ(observer_.eventList(), (std::vector<std::string>{"unplug", "removed"}));
    EXPECT_TRUE(cameras().empty());
    EXPECT_EQ(svkSetAcquisition(handle, 1), SVK_ERROR_DEVICE_GONE);
    EXPECT_EQ(svkClose(handle), 0);

    // Back on another node, opened by the same key; then pulled while streaming.
    devices_.plug("/dev/video3", camera);
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.events.size() >= 3; }));
    EXPECT_EQ(observer_.eventList().back(), "added");
    handle = openAndStream("uvc:16F0U001", SVK_PIXEL_FORMAT_RGB_CODE32);
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.frames >= 3; }));
    devices_.unplug("/dev/video3");
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.events.size() >= 5; }));
    EXPECT_EQ(observer_.eventList(),
              (std::vector<std::string>{"unplug", "removed", "added", "unplug", "removed"}));
    EXPECT_EQ(svkClose(handle), 0);
}

TEST_F(UvcCameraTest, CloseAndShutDownDuringCaptureLeaveNoCallbackBehind) {
    devices_.plug("/dev/video0", infiRayCamera("16F0U001"));
    devices_.plug("/dev/video1", leptonCamera("usb-0000:00:14.0-3"));
    ASSERT_EQ(startLibrary(R"({ "uvc": { "devices": ["/dev/video0", "/dev/video1"] } })"), 0);
    for (int round = 0; round < 5; ++round) {
        const SvkHandle handle = openAndStream("uvc:16F0U001", SVK_PIXEL_FORMAT_RGB_CODE32);
        const int target = observer_.frameCount() + 3;
        ASSERT_TRUE(observer_.waitUntil([&] { return observer_.frames >= target; }));
        ASSERT_EQ(svkClose(handle), 0);
        EXPECT_FALSE(observer_.inFrame.load()) << "svkClose returned during a frame callback";
        const int after = observer_.frameCount();
        std::this_thread::sleep_for(30ms); // six frames' time in which none may come
        EXPECT_EQ(observer_.frameCount(), after) << "a frame after svkClose returned";
    }

    // svkUninit closes what is still open.
    openAndStream("uvc:usb-0000:00:14.0-3", SVK_PIXEL_FORMAT_OFFSET16);
    const int target = observer_.frameCount() + 3;
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.frames >= target; }));
    svkUninit();
    EXPECT_FALSE(observer_.inFrame.load());
    const int after = observer_.frameCount();
    std::this_thread::sleep_for(30ms); // six frames' time in which none may come
    EXPECT_EQ(observer_.frameCount(), after);
}
