#pragma once
// Calibrating the camera's offset against a person of normal temperature: 100 readings of the
// largest region, then the offset that brings their mean to 36.0 degrees.

#include "pipeline/detection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace calidra {

class CompensationMeasurement {
public:
    static constexpr std::size_t sampleCount = 100;
    static constexpr int64_t minimumArea = 3000;
    static constexpr double targetCelsius = 36.0;

    static const char* const collectingText;    // a reading was taken
    static const char* const standInCentreText; // nobody large enough in the picture

    // GUI thread. A second start while collecting begins again from zero.
    void start();
    // GUI thread: the time-out, or the operator leaving the automatic mode. Nothing is written.
    void stop() { measuring_.store(false); }
    bool measuring() const { return measuring_.load(); }

    // Frame thread, once per shown frame while measuring. Returns the new offset text ("%.1f")
    // when the hundredth reading completes the measurement; readOffset gives the camera's current
    // offset, or nothing when it cannot be read (0 is used then).
    std::optional<std::string> step(const DetectionList& detections,
                                    const std::function<std::optional<double>()>& readOffset);

    // Frame thread: the line shown over the picture while measuring.
    const std::string& statusText() const { return statusText_; }
    std::size_t samplesTaken() const { return samples_.size(); }

private:
    // Counted up by every start; the frame thread empties its readings when it sees a new value,
    // so the two threads never touch the readings at the same time.
    std::atomic<uint32_t> generation_{0};
    std::atomic<bool> measuring_{false};
    uint32_t samplesGeneration_ = 0;
    std::vector<double> samples_;
    std::string statusText_;
};

} // namespace calidra
