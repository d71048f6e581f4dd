#pragma once
// Runs the simulated camera on a scenario written by the test.

#include "svk.h"

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

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/simulator_test.XXXXXX";
        folder_ = ::mkdtemp(pattern);
    }
    void TearDown() override {
        svkUninit();
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

    std::string folder_;
};

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

    bool waitFor(std::size_t frameCount, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return frames.size() >= frameCount; });
    }
};
