#include "simulator_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

const char* kPersonScene = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 100, "noise": 0,
    "people": [ { "enter": 0, "leave": 1000, "temperature": 38.2, "from": [0.5, 0.5], "to": [0.5, 0.5] } ] } ] })";

uint16_t codeAt(const std::vector<uint8_t>& frame, std::size_t pixel, std::size_t bytesPerPixel) {
    const std::size_t offset = pixel * bytesPerPixel + (bytesPerPixel == 4 ? 2 : 0);
    return uint16_t(frame[offset] | (frame[offset + 1] << 8));
}

// Whether a block of side x side pixels all at code exists in the frame.
bool hasBlockAt(const std::vector<uint8_t>& frame, int width, int height, std::size_t bytesPerPixel,
                uint16_t code, int side) {
    for (int top = 0; top + side <= height; ++top) {
        for (int left = 0; left + side <= width; ++left) {
            bool all = true;
            for (int y = top; y < top + side && all; ++y) {
                for (int x = left; x < left + side && all; ++x) {
                    all = codeAt(frame, std::size_t(y) * width + x, bytesPerPixel) == code;
                }
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

TEST_F(SimulatorTest, EachPixelFormatCarriesTheFaceTemperatureOnItsScale) {
    useManualClock(); // no frame is on its way when a collector goes
    ASSERT_EQ(startWith(kPersonScene), 0);
    SvkHandle handle = openFirst();
    struct Case {
        int format;
        std::size_t bytesPerPixel;
        uint16_t faceCode;
        uint16_t ambientCode;
    };
    for (const Case& c : {Case{103, 2, 1382, 1220}, Case{104, 2, 382, 220}, Case{110, 4, 1382, 1220}}) {
        SCOPED_TRACE(c.format);
        FrameCollector collector;
        collector.bytesPerPixel = c.bytesPerPixel;
        ASSERT_EQ(svkSetPixelFormat(handle, c.format), 0);
        int format = 0;
        ASSERT_EQ(svkGetPixelFormat(handle, &format), 0);
        EXPECT_EQ(format, c.format);
        ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
        ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
        ASSERT_TRUE(stepFrames(collector, 3, std::chrono::milliseconds(10)));
        ASSERT_EQ(svkSetAcquisition(handle, 0), 0);
        ASSERT_EQ(svkSetFrameCallback(handle, nullptr, nullptr), 0);
        std::vector<uint8_t> frame;
        {
            std::lock_guard<std::mutex> lock(collector.mutex);
            frame = collector.frames.back();
        }
        EXPECT_EQ(collector.width, 160u);
        EXPECT_EQ(collector.height, 120u);
        EXPECT_TRUE(hasBlockAt(frame, 160, 120, c.bytesPerPixel, c.faceCode, 9));
        EXPECT_EQ(codeAt(frame, 0, c.bytesPerPixel), c.ambientCode);
        uint16_t highest = 0;
        for (std::size_t i = 0; i < 160 * 120; ++i) {
            highest = std::max(highest, codeAt(frame, i, c.bytesPerPixel));
        }
        EXPECT_EQ(highest, c.faceCode) << "the face is the warmest part of the scene";
    }
    SvkImageSize size{};
    ASSERT_EQ(svkGetImageSize(handle, &size), 0);
    EXPECT_EQ(size.width, 160);
    EXPECT_EQ(size.height, 120);
}

TEST_F(SimulatorTest, CompensationOffsetShiftsEveryTemperature) {
    useManualClock();
    ASSERT_EQ(startWith(kPersonScene), 0);
    SvkHandle handle = openFirst();
    SvkNodeInfo info;
    std::memset(&info, 0, sizeof info);
    info.nodeType = -1;
    info.accessMode = 5;
    info.visibility = -1;
    ASSERT_EQ(svkGetNodeInfo(handle, "UserCompensationParaB", &info), 0);
    EXPECT_TRUE(info.accessMode >= 2 && info.accessMode <= 4);
    ASSERT_EQ(svkSetNodeFloat(handle, "UserCompensationParaB", 0.5), 0);
    SvkFloatRecord value{0, 0, 0.001, 5, 0};
    ASSERT_EQ(svkGetNodeFloat(handle, "UserCompensationParaB", &value), 0);
    EXPECT_DOUBLE_EQ(value.value, 0.5);
    FrameCollector collector;
    ASSERT_EQ(svkSetPixelFormat(handle, 103), 0);
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 2, std::chrono::milliseconds(10)));
    svkSetAcquisition(handle, 0);
    svkSetFrameCallback(handle, nullptr, nullptr);
    {
        std::lock_guard<std::mutex> lock(collector.mutex);
        EXPECT_TRUE(hasBlockAt(collector.frames.back(), 160, 120, 2, 1387, 9));
    }
    EXPECT_NE(svkGetNodeFloat(handle, "NoSuchNode", &value), 0);
    EXPECT_NE(svkSetNodeCommand(handle, "NoSuchCommand"), 0);
}

TEST_F(SimulatorTest, CloseReturnsOnlyAfterTheRunningCallbackFinished) {
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 32, "height": 24, "fps": 200 } ] })"), 0);
    SvkHandle handle = openFirst();
    struct Slow {
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        std::atomic<bool> inside{false};
    } slow;
    auto callback = [](const SvkFrameRecord*, void* context) {
        auto* s = static_cast<Slow*>(context);
        s->inside = true;
        ++s->started;
        // A slow consumer: the close below has to wait for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ++s->finished;
        s->inside = false;
    };
    ASSERT_EQ(svkSetFrameCallback(handle, callback, &slow), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(calidra::test::waitFor([&] { return slow.inside.load(); }));
    ASSERT_EQ(svkClose(handle), 0);
    EXPECT_FALSE(slow.inside);
    EXPECT_EQ(slow.started.load(), slow.finished.load());
    const int afterClose = slow.finished.load();
    // Proves an absence: no frame for many periods of the 200 fps camera.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(slow.started.load(), afterClose) << "no callback may run after close";
    EXPECT_NE(svkClose(handle), 0) << "a closed handle is gone";
}

TEST_F(SimulatorTest, UnplugAndPlugFireTheirCallbacksWithTheirContexts) {
    useManualClock();
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 32, "height": 24, "fps": 50,
        "events": [ { "at": 0.3, "unplug": true }, { "at": 1.2, "plug": true } ] } ] })"),
              0);
    struct Seen {
        std::mutex mutex;
        std::vector<std::pair<int, void*>> deviceChecks;
        std::vector<void*> unplugs;
    } seen;
    int marker = 0;
    ASSERT_EQ(svkSetDeviceCheckCallback(
                  [](int state, void* context) {
                      auto* s = *static_cast<Seen**>(context);
                      std::lock_guard<std::mutex> lock(s->mutex);
                      s->deviceChecks.emplace_back(state, context);
                  },
                  nullptr),
              0);
    // A null context is passed as given; then register the real one.
    Seen* seenPointer = &seen;
    ASSERT_EQ(svkSetDeviceCheckCallback(
                  [](int state, void* context) {
                      auto* s = *static_cast<Seen**>(context);
                      std::lock_guard<std::mutex> lock(s->mutex);
                      s->deviceChecks.emplace_back(state, context);
                  },
                  &seenPointer),
              0);
    SvkHandle handle = openFirst();
    (void)marker;
    ASSERT_EQ(svkSetUnplugCallback(
                  handle,
                  [](void* context) {
                      auto* s = *static_cast<Seen**>(context);
                      std::lock_guard<std::mutex> lock(s->mutex);
                      s->unplugs.push_back(context);
                  },
                  &seenPointer),
              0);
    auto countIs = [](int expected) {
        return calidra::test::waitFor([&] {
            int count = -1;
            return svkGetCameraCount(&count) == 0 && count == expected;
        });
    };
    clock_.advance(std::chrono::milliseconds(300));
    ASSERT_TRUE(countIs(0));
    EXPECT_NE(svkSetAcquisition(handle, 1), 0) << "the handle of an unplugged camera is stale";
    clock_.advance(std::chrono::milliseconds(900));
    ASSERT_TRUE(countIs(1));
    ASSERT_TRUE(calidra::test::waitFor([&] {
        std::lock_guard<std::mutex> lock(seen.mutex);
        return seen.deviceChecks.size() >= 2;
    }));
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        ASSERT_EQ(seen.deviceChecks.size(), 2u);
        EXPECT_NE(seen.deviceChecks[0].first, 0);
        EXPECT_EQ(seen.deviceChecks[1].first, 0);
        EXPECT_EQ(seen.deviceChecks[0].second, &seenPointer);
        ASSERT_EQ(seen.unplugs.size(), 1u);
        EXPECT_EQ(seen.unplugs[0], &seenPointer);
    }
    // The re-plugged camera opens again once the stale handle is closed.
    EXPECT_EQ(svkClose(handle), 0);
    SvkHandle again = openFirst();
    EXPECT_EQ(svkSetAcquisition(again, 1), 0);
}

TEST_F(SimulatorTest, InjectedFailuresReturnTheirCodes) {
    ASSERT_EQ(startWith(R"({ "cameras": [
        { "identity": "16F0A001", "openResult": 7 },
        { "identity": "16F0A002", "acquisitionResult": 9, "width": 16, "height": 8 } ] })"),
              0);
    auto records = cameras();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[1].identity, "16F0A002");
    EXPECT_EQ(records[0].kind, 2);
    EXPECT_STREQ(records[0].model, "KVX-384TRA");
    SvkHandle handle = nullptr;
    EXPECT_EQ(svkOpen(records[0].openKey, &handle, 0), 7);
    ASSERT_EQ(svkOpen(records[1].openKey, &handle, 0), 0);
    EXPECT_EQ(svkSetAcquisition(handle, 1), 9);
    svkUninit();

    ASSERT_EQ(startWith(R"({ "cameras": [ { "infoResult": 11 } ] })"), 0);
    SvkCameraInfo record;
    EXPECT_EQ(svkGetCameraInfo(&record, 1), 11);
}

TEST_F(SimulatorTest, StallStopsFramesForItsDuration) {
    useManualClock();
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 16, "height": 8, "fps": 100,
        "events": [ { "at": 0.0, "stallFor": 0.5 } ] } ] })"),
              0);
    SvkHandle handle = openFirst();
    FrameCollector collector;
    collector.bytesPerPixel = 4;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    clock_.advance(std::chrono::milliseconds(450));
    ASSERT_TRUE(settle(1)); // the frame thread has seen the stall
    EXPECT_EQ(collector.count.load(), 0);
    clock_.advance(std::chrono::milliseconds(50));
    EXPECT_TRUE(stepFrames(collector, 5, std::chrono::milliseconds(10)))
        << "frames come back after the stall";
}

TEST_F(SimulatorTest, RgbDataIsBottomUpAndFollowsThePalette) {
    useManualClock();
    // A hot strip across the top rows, the rest at ambient.
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 8, "height": 4, "fps": 100, "noise": 0,
        "objects": [ { "x": 0, "y": 0, "w": 8, "h": 1, "temperature": 40.0 } ] } ] })"),
              0);
    SvkHandle handle = openFirst();
    FrameCollector collector;
    collector.bytesPerPixel = 4;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 2, std::chrono::milliseconds(10)));
    std::vector<uint8_t> first(8 * 4 * 3), second(8 * 4 * 3);
    EXPECT_NE(svkGetRGBData(handle, first.data(), int(first.size()) - 1), 0);
    ASSERT_EQ(svkSetNodeEnum(handle, "ImageColorPalette", "Gray"), 0);
    ASSERT_EQ(svkGetRGBData(handle, first.data(), int(first.size())), 0);
    // Gray runs from white (cold) to yellow (hot): the last buffer row is the hot top row.
    const uint8_t* lastRow = first.data() + 3 * 8 * 3;
    EXPECT_NE(std::memcmp(lastRow, first.data(), 3), 0);
    EXPECT_EQ(lastRow[2], 255);
    EXPECT_EQ(lastRow[1], 255);
    EXPECT_EQ(lastRow[0], 24);
    ASSERT_EQ(svkSetNodeEnum(handle, "ImageColorPalette", "Jet"), 0);
    ASSERT_EQ(svkGetRGBData(handle, second.data(), int(second.size())), 0);
    EXPECT_NE(first, second);
    SvkEnumRecord palette;
    std::memset(&palette, 0, sizeof palette);
    palette.capacity = 64;
    ASSERT_EQ(svkGetNodeEnum(handle, "ImageColorPalette", &palette), 0);
    EXPECT_EQ(palette.currentIndex, 8);
    EXPECT_STREQ(palette.entries[15], "BlueRed2");
    EXPECT_NE(svkSetNodeEnum(handle, "ImageColorPalette", "NoSuchPalette"), 0);
}

TEST_F(SimulatorTest, NucRunFlattensThePictureBriefly) {
    useManualClock();
    ASSERT_EQ(startWith(kPersonScene), 0);
    SvkHandle handle = openFirst();
    ASSERT_EQ(svkSetNodeEnum(handle, "NUCMode", "Manual"), 0);
    ASSERT_EQ(svkSetNodeInt(handle, "NUCAutoPeriodicTime", 60), 0);
    ASSERT_EQ(svkSetNodeInt(handle, "NUCAutoTemperature", 10), 0);
    ASSERT_EQ(svkSetPixelFormat(handle, 103), 0);
    FrameCollector collector;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 2, std::chrono::milliseconds(10)));
    std::vector<uint8_t> flat;
    {
        std::lock_guard<std::mutex> lock(collector.mutex);
        flat = collector.frames[0];
    }
    EXPECT_FALSE(hasBlockAt(flat, 160, 120, 2, 1382, 9));
    // The shutter stays closed for half a second of scene time.
    clock_.advance(std::chrono::milliseconds(600));
    ASSERT_TRUE(stepFrames(collector, collector.size() + 1, std::chrono::milliseconds(10)));
    svkSetAcquisition(handle, 0);
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_TRUE(hasBlockAt(collector.frames.back(), 160, 120, 2, 1382, 9));
}

TEST_F(SimulatorTest, FiguresEnteringAndLeavingTheFrameAreClipped) {
    useManualClock();
    // Walking from well outside the left edge to well outside the right one,
    // every stage of the walk drawn in one frame or another.
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 64, "height": 48, "fps": 200,
        "people": [ { "enter": 0, "leave": 0.3, "from": [-0.6, 0.5], "to": [1.6, 0.5], "height": 1.5 } ] } ] })"),
              0);
    SvkHandle handle = openFirst();
    FrameCollector collector;
    collector.bytesPerPixel = 4;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    EXPECT_TRUE(stepFrames(collector, 70, std::chrono::milliseconds(5)));
}
