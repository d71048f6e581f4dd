#pragma once
// One person followed from entering the picture to leaving it, judged once.

#include <cstdint>
#include <optional>

namespace calidra {

struct PersonResult {
    uint64_t trackNumber = 0; // the tracker's own, from 1; the station numbers people per day
    uint32_t firstSeenTick = 0;
    uint32_t lastSeenTick = 0;
    std::optional<double> readingCelsius; // none: "not measured"
    bool alarmed = false;                 // the reading at or above the alarm threshold in force
    int countedFrames = 0;
    double thresholdCelsius = 0.0; // the threshold in force at the frame of the reading
};

} // namespace calidra
