// A drifting simulated camera as a station sees it, and the truth log beside it.
#include "simulator_fixture.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using nlohmann::json;

std::vector<uint16_t> codesOf(const std::vector<uint8_t>& frame) {
    std::vector<uint16_t> codes(frame.size() / 2);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        codes[i] = uint16_t(frame[2 * i] | (frame[2 * i + 1] << 8));
    }
    return codes;
}

std::vector<json> logLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<json> lines;
    for (std::string text; std::getline(file, text);) {
        lines.push_back(json::parse(text, nullptr, /*allow_exceptions=*/false));
    }
    return lines;
}

class DriftingCameraTest : public SimulatorTest {
protected:
    void TearDown() override {
        SimulatorTest::TearDown();
        ::unsetenv("SORVIK_SIM_TRUTH"); // later tests count the scene's threads without its own
    }

    // Starts a scenario, opens its camera in format 103 and collects its frames once the scene's
    // threads wait for their first time.
    SvkHandle startCollecting(const std::string& scenario, std::size_t threads = 1) {
        useManualClock();
        EXPECT_EQ(startWith(scenario), 0);
        SvkHandle handle = openFirst();
        EXPECT_EQ(svkSetPixelFormat(handle, 103), 0);
        EXPECT_EQ(svkSetFrameCallback(handle, &FrameCollector::callback, &collector_), 0);
        EXPECT_EQ(svkSetAcquisition(handle, 1), 0);
        EXPECT_TRUE(settle(threads));
        return handle;
    }

    // The codes of the frame drawn once the scene has moved on by one period of the threads' count.
    std::vector<uint16_t> nextFrame(std::chrono::milliseconds period, std::size_t threads = 1) {
        const std::size_t before = collector_.size();
        clock_.advance(period);
        EXPECT_TRUE(settle(threads));
        std::lock_guard<std::mutex> lock(collector_.mutex);
        if (collector_.frames.size() != before + 1) {
            ADD_FAILURE() << "one frame a period";
            return {0};
        }
        return codesOf(collector_.frames.back());
    }

    FrameCollector collector_;
};

} // namespace

TEST_F(DriftingCameraTest, FramesCarryGainAndDriftAndAShutterCycleRestartsTheRamp) {
    // 0.1 degrees a second of ramp, gain 0.5 around the 22-degree ambient: a 36-degree face shows
    // 22 + 14 x 1.5 + 0.1 t.
    const std::string drift =
        R"("drift": { "start": 0, "ramp": 6, "walk": 0, "shutterEvery": 0, "shutterResidual": 0, "gain": 0.5 })";
    SvkHandle handle =
        startCollecting(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 10, "noise": 0, )" + drift +
                        R"(, "people": [ { "enter": 0, "leave": 1000, "temperature": 36.0,
        "from": [0.5, 0.5], "to": [0.5, 0.5] } ] } ] })");
    const auto period = std::chrono::milliseconds(100);
    struct Expected {
        int frame; // at frame x 0.1 s
        uint16_t face, background;
    };
    std::vector<Expected> expected = {{10, 1431, 1221}, {20, 1432, 1222}};
    for (int frame = 1; frame <= 20; ++frame) {
        const auto codes = nextFrame(period);
        for (const Expected& e : expected) {
            if (e.frame == frame) {
                EXPECT_EQ(*std::max_element(codes.begin(), codes.end()), e.face) << frame;
                EXPECT_EQ(codes[0], e.background) << frame;
            }
        }
    }
    ASSERT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), 0);
    for (int frame = 21; frame <= 24; ++frame) {
        const auto codes = nextFrame(period);
        EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](uint16_t code) { return code == 1220; }))
            << "the shutter closed at ambient plus the residual, frame " << frame;
    }
    for (int frame = 25; frame <= 30; ++frame) {
        const auto codes = nextFrame(period);
        if (frame == 30) {
            EXPECT_EQ(*std::max_element(codes.begin(), codes.end()), 1431) << "the ramp from the cycle on";
            EXPECT_EQ(codes[0], 1221);
        }
    }
    svkUninit();

    // Replayed footage at 30 degrees drifts the same way.
    std::string raw;
    for (int pixel = 0; pixel < 8; ++pixel) {
        raw += std::string("\x14\x05", 2); // 1300
    }
    writeFile("frames.raw", raw);
    startCollecting(R"({ "cameras": [ { "width": 4, "height": 2, "fps": 10, "replay": "frames.raw", )" +
                    drift + " } ] }");
    std::vector<uint16_t> codes;
    for (int frame = 1; frame <= 10; ++frame) {
        codes = nextFrame(period);
    }
    EXPECT_EQ(codes[0], 1341) << "22 + 8 x 1.5 + 0.1";
}

TEST_F(DriftingCameraTest, TheTruthLogListsTheCrowdWithTheTemperaturesTheFramesShow) {
    const std::string truth = folder_ + "/truth.jsonl";
    ::setenv("SORVIK_SIM_TRUTH", truth.c_str(), 1);
    // One walker at a time: 2.5 s across, 0.5 s of empty frame between two.
    startCollecting(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 4, "noise": 0,
        "crowd": { "start": 1, "count": 40, "every": 3, "walk": 2.5, "feverEvery": 10 } } ] })",
                    2);
    std::vector<uint16_t> faces; // the warmest code of each stretch of frames with someone in them
    bool someone = false;
    for (int frame = 1; frame <= 4 * 123; ++frame) {
        const auto codes = nextFrame(std::chrono::milliseconds(250), 2); // frames and the truth log
        const uint16_t warmest = *std::max_element(codes.begin(), codes.end());
        if (warmest > 1250 && !someone) {
            faces.push_back(warmest);
        } else if (warmest > 1250) {
            faces.back() = std::max(faces.back(), warmest);
        }
        someone = warmest > 1250;
        std::lock_guard<std::mutex> lock(collector_.mutex);
        collector_.frames.clear();
    }
    svkUninit();

    struct Seen {
        double enter = -1, leave = -1, temperature = 0;
        int lines = 0;
    };
    std::map<int, Seen> people;
    std::vector<double> seconds;
    for (const json& line : logLines(truth)) {
        ASSERT_TRUE(line.is_object());
        EXPECT_EQ(line.at("camera"), "16F0A001");
        if (line.contains("person")) {
            Seen& seen = people[line.at("person").get<int>()];
            (line.at("event") == "enter" ? seen.enter : seen.leave) = line.at("t").get<double>();
            seen.temperature = line.at("temperature").get<double>();
            ++seen.lines;
        } else {
            EXPECT_EQ(line.at("error"), 0.0);
            EXPECT_TRUE(line.at("reference").is_null());
            seconds.push_back(line.at("t").get<double>());
        }
    }
    ASSERT_EQ(people.size(), 40u);
    ASSERT_EQ(faces.size(), 40u);
    int feverish = 0;
    for (const auto& [number, seen] : people) {
        SCOPED_TRACE(number);
        EXPECT_EQ(seen.lines, 2);
        EXPECT_NEAR(seen.enter, 1.0 + 3.0 * (number - 1), 1e-9);
        EXPECT_NEAR(seen.leave - seen.enter, 2.5, 1e-9);
        EXPECT_NEAR(seen.temperature, (faces[std::size_t(number - 1)] - 1000) / 10.0, 0.05 + 1e-9);
        feverish += seen.temperature > 37.5;
        if ((number - 1) % 10 == 0) {
            EXPECT_DOUBLE_EQ(seen.temperature, 38.1);
        }
    }
    EXPECT_EQ(feverish, 4);
    ASSERT_EQ(seconds.size(), 123u) << "a line a second";
    EXPECT_EQ(seconds.front(), 1.0);
    EXPECT_EQ(seconds.back(), 123.0);
}

TEST_F(SimulatorTest, TheTruthLogHoldsWholeLinesWhenItsWriterIsKilled) {
    const std::string truth = folder_ + "/truth.jsonl";
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(20);
        ::setenv("SORVIK_SIM_TRUTH", truth.c_str(), 1);
        useManualClock();
        if (startWith(
                R"({ "cameras": [ { "width": 32, "height": 24, "drift": {}, "reference": { "x": 0, "y": 0 },
            "crowd": { "count": 100000, "every": 0.01, "walk": 0.5 } } ] })") != 0) {
            ::_exit(1);
        }
        for (int step = 0; step < 1000000; ++step) { // until killed
            clock_.advance(std::chrono::milliseconds(100));
            // Paces the writer only: the test waits for the file's size, then kills it mid-write.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ::_exit(2);
    }
    ASSERT_GT(child, 0);
    struct stat status {};
    calidra::test::waitFor([&] { return ::stat(truth.c_str(), &status) == 0 && status.st_size > (1 << 20); },
                           calidra::test::kEventDeadline,
                           // A short poll: the kill should land while the writer is busy.
                           [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    ::kill(child, SIGKILL);
    int exit = 0;
    ASSERT_EQ(::waitpid(child, &exit, 0), child);
    ASSERT_TRUE(WIFSIGNALED(exit)) << "killed while writing, not ended on its own";
    std::ifstream file(truth, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(text.size(), std::size_t(1 << 20));
    EXPECT_EQ(text.back(), '\n');
    std::istringstream lines(text);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
        ASSERT_TRUE(object.is_object() && object.contains("t")) << "line " << count + 1 << ": " << line;
    }
    EXPECT_GT(count, 10000u);
}
