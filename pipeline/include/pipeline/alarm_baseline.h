#pragma once
// The alarm threshold relative to the people who came before. Skin at a door reads low on a cold
// morning and high on a hot afternoon, so in mode Baseline the threshold in force is the baseline
// (the mean of the last learned readings without their highest and lowest) plus a margin, once
// enough people have been learned; until then the fixed alarm temperature holds. Only readings
// that did not alarm and lie near the baseline are learned, so that a feverish or odd person seen
// during start-up cannot pull the baseline up. Plain C++; the caller keeps it to one thread.

#include "pipeline/person_result.h"

#include <cstdint>
#include <deque>
#include <optional>

namespace calidra {

// The numbers are what AlarmMode stores.
enum class AlarmMode : int { Fixed = 0, Baseline = 1 };

struct BaselineSettings {
    AlarmMode mode = AlarmMode::Fixed;
    int count = 10;            // readings the baseline is the mean of
    double deltaCelsius = 1.0; // the margin above the baseline
    int resetMinutes = 60;     // nobody measured for this long: learned afresh; 0: never
};

struct BaselineStatus {
    AlarmMode mode = AlarmMode::Fixed;
    int learned = 0; // readings held toward count, at most count
    int count = 10;
    // Mode Baseline with count readings learned; none while learning and in mode Fixed.
    std::optional<double> baselineCelsius;
    double thresholdCelsius = 37.5; // in force: every region is compared with it

    bool operator==(const BaselineStatus& other) const {
        return mode == other.mode && learned == other.learned && count == other.count &&
               baselineCelsius == other.baselineCelsius && thresholdCelsius == other.thresholdCelsius;
    }
    bool operator!=(const BaselineStatus& other) const { return !(*this == other); }
};

class BaselineLearner {
public:
    static constexpr int smallestCount = 5;
    static constexpr int largestCount = 50;
    static constexpr double lowestLearnedCelsius = 30.0; // while learning: nothing colder is a person
    static constexpr double windowDeltas = 2.0;          // learned within this many margins of the baseline

    // Once per frame, before its regions are judged: what was learned is forgotten when nobody was
    // measured for the reset time. The threshold in force for the frame is in the status.
    BaselineStatus update(const BaselineSettings& settings, double fixedAlarmCelsius, uint32_t tickMs);
    // A finished person; true when their reading was learned. Learning goes on in mode Fixed too,
    // so that switching to Baseline puts a baseline in force at once.
    bool offer(const PersonResult& person, const BaselineSettings& settings, double fixedAlarmCelsius);
    void reset() { readings_.clear(); }

    BaselineStatus status(const BaselineSettings& settings, double fixedAlarmCelsius) const;

private:
    // The trimmed mean of the last count readings; none until count are held.
    std::optional<double> baseline(int count) const;

    std::deque<double> readings_; // learned, oldest first, at most largestCount
    bool measuredYet_ = false;
    uint32_t lastMeasuredTick_ = 0;
};

} // namespace calidra
