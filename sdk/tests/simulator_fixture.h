#pragma once
// Runs the simulated camera on a scenario written by the test.

#include "manual_scene_clock.h"
#include "svk.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// Collects frames delivered by the frame callback.
struct FrameCollector {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<uint8_t>> frames;
    uint32_t width = 0, height = 0;
    std::atomic<int> count{0};
    std::size_t bytesPerPixel = 2;

    static void callback(const SvkFrameRecord* frame, void* context) {
        auto* self = static_cast<FrameCollector*>(context);
        const uint8_t* data = static_cast<const uint8_t*>(frame->data);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->width = frame->width;
        self->height = frame->height;
        self->frames.emplace_back(data,
                                  data + std::size_t(frame->width) * frame->height * self->bytesPerPixel);
        ++self->count;
        self->arrived.notify_all();
    }

    bool waitFor(std::size_t frameCount) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, calidra::test::kEventDeadline,
                                [&] { return frames.size() >= frameCount; });
    }

    std::size_t size() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }
};

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/simulator_test.XXXXXX";
        folder_ = ::mkdtemp(pattern);
    }
    void TearDown() override {
        svkUninit();
        calidra::simulator::useSceneClock(nullptr);
        ::unsetenv("SORVIK_SIM_SCENARIO");
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    int startWith(const std::string& json) {
        ::setenv("SORVIK_SIM_SCENARIO", writeFile("scenario.json", json).c_str(), 1);
        return svkInit();
    }

    std::vector<SvkCameraInfo> cameras() {
        int count = 0;
        EXPECT_EQ(svkGetCameraCount(&count), 0);
        std::vector<SvkCameraInfo> records(std::size_t(count > 0 ? count : 0));
        if (count > 0) {
            EXPECT_EQ(svkGetCameraInfo(records.data(), count), 0);
        }
        return records;
    }

    SvkHandle openFirst() {
        auto records = cameras();
        EXPECT_FALSE(records.empty());
        SvkHandle handle = nullptr;
        if (!records.empty()) {
            EXPECT_EQ(svkOpen(records[0].openKey, &handle, 0), 0);
        }
        return handle;
    }

    // Scene time from the next start on moves only by the test's hand.
    void useManualClock() { calidra::simulator::useSceneClock(&clock_); }

    // Waits until the scene's threads have all seen the present scene time: the frame thread of
    // each open camera, and the event thread while plug or unplug events lie ahead.
    bool settle(std::size_t threads) {
        return calidra::test::waitFor([&] { return clock_.waitingAhead() == threads; },
                                      calidra::test::kEventDeadline,
                                      [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    }

    // Moves the scene on a frame period at a time until the collector holds count frames, in a
    // scene whose only thread is one camera's frame thread.
    bool stepFrames(FrameCollector& collector, std::size_t count, std::chrono::milliseconds period) {
        for (int step = 0; collector.size() < count; ++step) {
            if (step == 10000) {
                return false;
            }
            clock_.advance(period);
            if (!settle(1)) {
                return false;
            }
        }
        return true;
    }

    std::string folder_;
    ManualSceneClock clock_;
};
