#include "simulator_fixture.h"

#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

TEST_F(SimulatorTest, MalformedScenariosFailStartUpCleanly) {
    const char* broken[] = {
        "{ not json",
        R"({ "cameras": [ { "colour": 1 } ] })",
        R"({ "camera": [] })",
        R"({ "cameras": [ { "width": "wide" } ] })",
        R"({ "cameras": [ { "fps": 0 } ] })",
        R"({ "cameras": [ { "people": [ { "enter": 5, "leave": 2 } ] } ] })",
        R"({ "cameras": [ { "events": [ { "at": 1, "explode": true } ] } ] })",
        R"({ "cameras": [ { "replay": "missing.raw" } ] })",
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        EXPECT_NE(startWith(text), 0);
        int count = 0;
        EXPECT_NE(svkGetCameraCount(&count), 0) << "the library stays down";
    }
    ::setenv("SORVIK_SIM_SCENARIO", (folder_ + "/absent.json").c_str(), 1);
    EXPECT_NE(svkInit(), 0);
}

// A replay (or a scenario) that is a device or a FIFO fails start-up at once instead of reading
// for ever, and a long recording is read a frame at a time. Each case runs in a child that an
// alarm ends should it hang.
TEST_F(SimulatorTest, ReplaysAreRegularFilesReadAFrameAtATime) {
    ASSERT_EQ(::mkfifo((folder_ + "/fifo.raw").c_str(), 0644), 0);
    // A sparse recording of 120 MB: nothing of it is on the disk.
    const int sparse = ::open((folder_ + "/long.raw").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(sparse, 0);
    ASSERT_EQ(::ftruncate(sparse, off_t(384 * 288 * 2) * 550), 0);
    ::close(sparse);
    const auto inChild = [](const std::function<bool()>& run) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20);
            ::_exit(run() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    for (const std::string& replay : {std::string("/dev/zero"), folder_ + "/fifo.raw"}) {
        SCOPED_TRACE(replay);
        EXPECT_TRUE(inChild(
            [&] { return startWith(R"({ "cameras": [ { "replay": ")" + replay + R"(" } ] })") != 0; }));
        EXPECT_TRUE(inChild([&] {
            ::setenv("SORVIK_SIM_SCENARIO", replay.c_str(), 1);
            return svkInit() != 0;
        }));
    }
    EXPECT_TRUE(inChild([&] {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        if (startWith(R"({ "cameras": [ { "fps": 100, "replay": "long.raw" } ] })") != 0)
            return false;
        SvkHandle handle = openFirst();
        FrameCollector collector;
        const bool delivered = svkSetPixelFormat(handle, 103) == 0 &&
                               svkSetFrameCallback(handle, &FrameCollector::callback, &collector) == 0 &&
                               svkSetAcquisition(handle, 1) == 0 && collector.waitFor(3);
        svkUninit(); // the callbacks end before the collector goes
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        return delivered && after.ru_maxrss - before.ru_maxrss < 40 * 1024; // kilobytes
    }));
}

TEST_F(SimulatorTest, DefaultsAndTheBuiltInScene) {
    ::unsetenv("SORVIK_SIM_SCENARIO");
    ASSERT_EQ(svkInit(), 0);
    auto records = cameras();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].model, "KVX-384TRA");
    EXPECT_STREQ(records[0].identity, "16F0A001");
    EXPECT_EQ(records[0].kind, 2);
    EXPECT_EQ(svkInit(), 0) << "a second start-up is harmless";
    svkUninit();

    useManualClock();
    ASSERT_EQ(
        startWith(R"({ "cameras": [ { "present": false, "events": [ { "at": 0.2, "plug": true } ] } ] })"),
        0);
    clock_.advance(std::chrono::milliseconds(190));
    ASSERT_TRUE(settle(1)); // the event thread waits for the plug
    EXPECT_TRUE(cameras().empty());
    clock_.advance(std::chrono::milliseconds(10));
    EXPECT_TRUE(calidra::test::waitFor([&] { return cameras().size() == 1u; }));
}

TEST_F(SimulatorTest, ReplayDeliversEveryRecordedFrameInOrderFromTheStart) {
    // Three 4 x 2 frames whose pixels all carry the frame's number.
    std::string raw;
    for (uint16_t frame = 0; frame < 3; ++frame) {
        for (int pixel = 0; pixel < 8; ++pixel) {
            const uint16_t code = uint16_t(1300 + frame);
            raw.push_back(char(code & 0xFF));
            raw.push_back(char(code >> 8));
        }
    }
    writeFile("frames.raw", raw);
    writeFile("odd.raw", raw.substr(0, raw.size() - 2));
    EXPECT_NE(startWith(R"({ "cameras": [ { "width": 4, "height": 2, "replay": "odd.raw" } ] })"), 0);
    useManualClock(); // no frame comes unless the test moves the scene on
    ASSERT_EQ(
        startWith(R"({ "cameras": [ { "width": 4, "height": 2, "fps": 100, "replay": "frames.raw" } ] })"),
        0);
    SvkHandle handle = openFirst();
    ASSERT_EQ(svkSetPixelFormat(handle, 104), 0);
    FrameCollector collector;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 5, std::chrono::milliseconds(10)));
    ASSERT_EQ(svkSetAcquisition(handle, 0), 0);
    std::vector<uint16_t> firstCodes;
    {
        std::lock_guard<std::mutex> lock(collector.mutex);
        for (const auto& frame : collector.frames) {
            firstCodes.push_back(uint16_t(frame[0] | (frame[1] << 8)));
        }
        collector.frames.clear();
    }
    ASSERT_GE(firstCodes.size(), 5u);
    for (std::size_t i = 0; i < firstCodes.size(); ++i) {
        EXPECT_EQ(firstCodes[i], 300 + i % 3) << "frame " << i << " on the direct scale";
    }
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 1, std::chrono::milliseconds(10)));
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_EQ(collector.frames[0][0] | (collector.frames[0][1] << 8), 300)
        << "each start replays from the first frame";
}

TEST_F(SimulatorTest, RecordedFootageReplays) {
    const char* source = std::getenv("CALIDRA_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string footage = std::string(source) + "/footage/face-close-warm-320x240.raw";
    ASSERT_EQ(::access(footage.c_str(), R_OK), 0) << footage;
    useManualClock();
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 320, "height": 240, "fps": 30, "replay": ")" + footage +
                        R"(" } ] })"),
              0);
    SvkHandle handle = openFirst();
    ASSERT_EQ(svkSetPixelFormat(handle, 103), 0);
    FrameCollector collector;
    ASSERT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(stepFrames(collector, 1, std::chrono::milliseconds(10)));
    svkSetAcquisition(handle, 0);
    uint16_t highest = 0;
    std::lock_guard<std::mutex> lock(collector.mutex);
    const auto& frame = collector.frames[0];
    for (std::size_t i = 0; i + 1 < frame.size(); i += 2) {
        highest = std::max<uint16_t>(highest, uint16_t(frame[i] | (frame[i + 1] << 8)));
    }
    EXPECT_EQ(highest, 1391) << "the warm face peaks at 39.1 degrees";
}
