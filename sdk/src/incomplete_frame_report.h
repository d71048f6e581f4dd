#pragma once
// Tells, once per change, that a camera's frames arrive incomplete: lost packets drop whole frames,
// and a camera on a lossy network otherwise just falls silent. Counts the last minute's dropped
// frames in one-second steps: bounded, whatever the frame rate.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace calidra::sorvik {

// The read-only float node of a GenICam session that answers droppedInLastMinute: how the station
// learns of the loss without reading stderr.
inline constexpr const char* kIncompleteFramesNode = "StreamIncompleteFramesLastMinute";

class IncompleteFrameReport {
public:
    using Clock = std::chrono::steady_clock;

    // Dropped frames in the last minute that make the loss worth a report.
    static constexpr uint32_t kReportedDrops = 10;

    // One frame finished, complete or not. Returns the line to report when the state changes:
    // drops reached kReportedDrops in the last minute, or a whole minute went by without one.
    std::string frameFinished(bool complete, Clock::time_point now);

    // Frames dropped in the minute up to now; also while no frame arrives at all.
    uint32_t droppedInLastMinute(Clock::time_point now);

private:
    void advanceTo(Clock::time_point now);
    uint32_t dropsInWindow() const;

    std::array<uint32_t, 60> drops_{}; // per second, the second modulo 60
    int64_t newestSecond_ = -1;
    bool lossy_ = false;
};

} // namespace calidra::sorvik
