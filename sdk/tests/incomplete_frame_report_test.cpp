// When a camera's incomplete frames are reported: once when they become many, once when they stop.
#include "incomplete_frame_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using calidra::sorvik::IncompleteFrameReport;
using namespace std::chrono_literals;

TEST(IncompleteFrameReportTest, ReportsOncePerChange) {
    IncompleteFrameReport report;
    IncompleteFrameReport::Clock::time_point now{100s};
    std::vector<std::string> lines;
    auto frames = [&](int count, bool complete, std::chrono::milliseconds apart) {
        for (int i = 0; i < count; ++i, now += apart) {
            if (std::string line = report.frameFinished(complete, now); !line.empty()) {
                lines.push_back(line);
            }
        }
    };
    frames(9, false, 10s); // one every 10 s: never 10 within a minute
    frames(100, true, 33ms);
    EXPECT_TRUE(lines.empty());
    frames(300, false, 33ms); // all lost, ten seconds long
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "10 incomplete frames dropped in the last minute: packet loss on the camera's network?");
    frames(1500, true, 33ms); // 50 s of complete frames: drops still within the last minute
    EXPECT_EQ(lines.size(), 1u);
    frames(600, true, 33ms);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "no incomplete frame in the last minute");
    frames(10, false, 1s);
    EXPECT_EQ(lines.size(), 3u) << "lost again: told again";
}

TEST(IncompleteFrameReportTest, CountsTheLastMinuteAlsoWhenNoFrameArrives) {
    IncompleteFrameReport report;
    const IncompleteFrameReport::Clock::time_point start{100s};
    for (int i = 0; i < 20; ++i) {
        report.frameFinished(false, start + i * 10ms);
    }
    report.frameFinished(true, start + 300ms);
    EXPECT_EQ(report.droppedInLastMinute(start + 500ms), 20u);
    EXPECT_EQ(report.droppedInLastMinute(start + 59s), 20u);
    EXPECT_EQ(report.droppedInLastMinute(start + 61s), 0u) << "a silent camera's old drops age out";
}

} // namespace
