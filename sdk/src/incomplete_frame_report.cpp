#include "incomplete_frame_report.h"

#include <numeric>

namespace calidra::sorvik {

void IncompleteFrameReport::advanceTo(Clock::time_point now) {
    const int64_t second = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    if (newestSecond_ < 0 || second - newestSecond_ >= int64_t(drops_.size())) {
        drops_.fill(0);
    } else {
        for (int64_t passed = newestSecond_ + 1; passed <= second; ++passed) {
            drops_[std::size_t(passed % int64_t(drops_.size()))] = 0;
        }
    }
    if (second > newestSecond_) {
        newestSecond_ = second;
    }
}

uint32_t IncompleteFrameReport::dropsInWindow() const {
    return std::accumulate(drops_.begin(), drops_.end(), uint32_t(0));
}

uint32_t IncompleteFrameReport::droppedInLastMinute(Clock::time_point now) {
    advanceTo(now);
    return dropsInWindow();
}

std::string IncompleteFrameReport::frameFinished(bool complete, Clock::time_point now) {
    advanceTo(now);
    if (!complete) {
        ++drops_[std::size_t(newestSecond_ % int64_t(drops_.size()))];
    }
    const uint32_t dropped = dropsInWindow();
    if (!lossy_ && dropped >= kReportedDrops) {
        lossy_ = true;
        return std::to_string(dropped) +
               " incomplete frames dropped in the last minute: packet loss on the camera's network?";
    }
    if (lossy_ && dropped == 0) {
        lossy_ = false;
        return "no incomplete frame in the last minute";
    }
    return {};
}

} // namespace calidra::sorvik
