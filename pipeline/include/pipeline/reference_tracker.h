#pragma once
// Follows a reference source (a blackbody at a known temperature) in the picture and estimates the
// camera's correction from it: set temperature - the reference's uncorrected reading. Pure: the
// caller hands it one sample per frame and the frame's tick, so recorded sequences replay exactly.

#include <cstdint>
#include <deque>

namespace calidra {

enum class ReferenceState { Off, Searching, Locked, Holding, Lost };

// Why the reference was lost; None while it is not.
enum class ReferenceLoss {
    None,
    Unseen,         // no good sample for longer than the hold time
    Jumped,         // the reading fell far and stayed there: taken away, switched off, failing
    FileMissing,    // Zonara/reference.cfg is not there
    FileDamaged,    // unreadable, or without a usable [Reference] rectangle
    FileNotRegular, // a FIFO, a device or a folder in its place
    Disabled,       // Enabled=false
    OutsideFrame,   // the rectangle does not lie wholly inside the camera's picture
};

// The central part of the reference region in one frame, without the correction in force.
struct ReferenceSample {
    double celsius = 0.0;
    bool uniform = false; // small spread: nothing half covers it
};

struct ReferenceTrackerSettings {
    double setCelsius = 35.0;
    uint32_t holdMs = 10000;
};

class ReferenceTracker {
public:
    // A good sample lies this close to the estimate once locked, and to the set temperature before.
    static constexpr double lockedReachCelsius = 1.0;
    static constexpr double searchReachCelsius = 5.0;
    // Searching locks after this long of good samples changing by less than steadyCelsius.
    static constexpr uint32_t lockWindowMs = 2000;
    static constexpr double steadyCelsius = 0.1;
    // The estimate follows good samples with this time constant.
    static constexpr uint32_t filterTimeMs = 3000;
    // A uniform reading this far below the estimate for this long is a source gone or failing, not
    // a passer-by (people are warmer than the source, and do not stand this still).
    static constexpr double jumpCelsius = 3.0;
    static constexpr uint32_t jumpConfirmMs = 2000;

    // Searching afresh: no estimate, no correction.
    void restart();
    // Not in use: Off, nothing kept.
    void switchOff();

    // One frame's sample. Ticks wrap after 2^32 ms; differences are taken in 32-bit arithmetic.
    ReferenceState update(const ReferenceSample& sample, uint32_t tickMs,
                          const ReferenceTrackerSettings& settings);
    // One frame in which the region cannot be sampled at all: lost at once, with that reason.
    ReferenceState regionUnusable(ReferenceLoss reason);

    ReferenceState state() const { return state_; }
    ReferenceLoss loss() const { return loss_; }
    // set - estimate, while Locked or Holding (the last one in force otherwise).
    double correctionCelsius() const { return correction_; }
    // The source's filtered reading without the correction, while Locked or Holding.
    double estimateCelsius() const { return estimate_; }
    // How far the reading had fallen when a jump was confirmed, in degrees.
    double jumpDropCelsius() const { return jumpDrop_; }

private:
    struct TimedReading {
        uint32_t tickMs;
        double celsius;
    };
    void search(const ReferenceSample& sample, uint32_t tickMs, const ReferenceTrackerSettings& settings);
    void follow(const ReferenceSample& sample, uint32_t tickMs, const ReferenceTrackerSettings& settings);
    void lose(ReferenceLoss reason);
    bool windowSteady() const;
    double windowTailMean() const;

    ReferenceState state_ = ReferenceState::Off;
    ReferenceLoss loss_ = ReferenceLoss::None;
    std::deque<TimedReading> window_; // the current run of good samples while searching
    double estimate_ = 0.0;           // uncorrected reading of the source, filtered
    double correction_ = 0.0;
    uint32_t lastGoodTick_ = 0;
    uint32_t lastSampleTick_ = 0;
    bool jumpRunning_ = false;
    uint32_t jumpSinceTick_ = 0;
    double jumpDrop_ = 0.0;
};

} // namespace calidra
