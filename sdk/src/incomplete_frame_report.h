#pragma once
// Tells, once per change, that a camera's frames arrive incomplete: lost packets drop whole frames,
// and a camera on a lossy network otherwise just falls silent. Counts the last minute's dropped
// frames in one-second steps: bounded, whatever the frame rate.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace calidra::sorvik {

class IncompleteFrameReport {
public:
    using Clock = std::chrono::steady_clock;

    // Dropped frames in the last minute that make the loss worth a report.
    static constexpr uint32_t kReportedDrops = 10;

    // One frame finished, complete or not. Returns the line to report when the state changes:
    // drops reached kReportedDrops in the last minute, or a whole minute went by without one.
    std::string frameFinished(bool complete, Clock::time_point now);

private:
    void advanceTo(int64_t second);
    uint32_t dropsInLastMinute() const;

    std::array<uint32_t, 60> drops_{}; // per second, the second modulo 60
    int64_t newestSecond_ = -1;
    bool lossy_ = false;
};

} // namespace calidra::sorvik
