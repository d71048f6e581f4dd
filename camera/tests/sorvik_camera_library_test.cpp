// The seam over the real camera library, on the simulated camera: records, callbacks on the
// library's threads, and a close while frames arrive.

#include "camera/sorvik_camera_library.h"

#include "../../sdk/tests/manual_scene_clock.h"
#include "testsupport/wait.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace calidra {
namespace {

class CountingEvents : public CameraEvents {
public:
    // Counts only frames decoded whole: the scenario's size, the format asked for, pixels.
    void frameArrived(const CameraFrame& frame) override {
        const bool whole = frame.width == 64 && frame.height == 48 && frame.format == PixelFormat::Direct16 &&
                           frame.pixels != nullptr;
        frames += whole ? 1 : 0;
    }
    void unplugged() override { ++unplugs; }
    std::atomic<int> frames{0};
    std::atomic<int> unplugs{0};
};

// Moves the scene on a frame period every millisecond, up to a scene time short of the unplug.
class SceneTicker {
public:
    explicit SceneTicker(ManualSceneClock& clock)
        : thread_([this, &clock] {
              for (int tick = 0; tick < 60000 && !stop_; ++tick) {
                  clock.advance(std::chrono::milliseconds(10));
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~SceneTicker() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(SorvikCameraLibraryTest, CamerasOpenDeliverAndCloseThroughTheSeam) {
    QTemporaryDir folder;
    const std::string scenario = folder.filePath("scenario.json").toStdString();
    std::ofstream(scenario)
        << R"({ "cameras": [ { "label": "SIM-A", "identity": "16F0A001", "model": "KVX-384TRA",
        "width": 64, "height": 48, "fps": 100, "events": [ { "at": 1000, "unplug": true } ] } ] })";
    ::setenv("SORVIK_SIM_SCENARIO", scenario.c_str(), 1);
    ManualSceneClock clock;
    simulator::useSceneClock(&clock);

    const std::unique_ptr<CameraLibrary> library = makeSorvikCameraLibrary();
    std::atomic<int> removals{0};
    library->setDeviceCheckHandler([&](bool added) { removals += added ? 0 : 1; });
    ASSERT_EQ(library->initialise(), 0);
    int count = 0;
    ASSERT_EQ(library->cameraCount(count), 0);
    std::vector<CameraRecord> records;
    ASSERT_EQ(library->cameraInfo(count, records), 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].label, "SIM-A");
    EXPECT_EQ(records[0].identity, "16F0A001");
    EXPECT_EQ(records[0].kind, 2);

    CountingEvents events;
    std::unique_ptr<Camera> camera;
    ASSERT_EQ(library->open(records[0], events, camera), 0);
    int width = 0;
    int height = 0;
    EXPECT_EQ(camera->imageSize(width, height), 0);
    EXPECT_EQ(width, 64);
    EXPECT_TRUE(camera->offersUserOffset());
    EXPECT_EQ(camera->setUserOffset(0.5), 0);
    double offset = 0.0;
    EXPECT_EQ(camera->userOffset(offset), 0);
    EXPECT_EQ(offset, 0.5);
    EXPECT_EQ(camera->setPalette("Jet"), 0);
    int palette = -1;
    EXPECT_EQ(camera->paletteIndex(palette), 0);
    EXPECT_EQ(palette, 8);
    EXPECT_EQ(camera->setNucMode("Manual"), 0);
    EXPECT_EQ(camera->runNuc(), 0);
    EXPECT_EQ(camera->setPixelFormat(PixelFormat::Direct16), 0);
    ASSERT_EQ(camera->setAcquisition(true), 0);
    SceneTicker ticker(clock);
    ASSERT_TRUE(test::waitFor([&] { return events.frames > 5; }));

    camera.reset(); // while frames arrive
    const int frames = events.frames;
    // Proves an absence: the scene moves on for many frame periods without a frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(events.frames, frames);
    ticker.stop();
    clock.advance(std::chrono::seconds(1000));
    EXPECT_TRUE(test::waitFor([&] { return removals > 0; }));
    EXPECT_EQ(events.unplugs, 0); // closed before it was unplugged

    library->setDeviceCheckHandler({});
    library->shutdown();
    simulator::useSceneClock(nullptr);
    EXPECT_NE(library->cameraCount(count), 0);
    ::unsetenv("SORVIK_SIM_SCENARIO");
}

} // namespace
} // namespace calidra
