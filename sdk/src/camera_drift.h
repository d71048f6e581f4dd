#pragma once
// The drift of an uncooled thermal camera: what it reports for a true temperature, and its shutter
// cycles. The error is a pure function of the time and the shutter cycles so far, so the frame
// thread and the truth log agree on it whoever asks first.

#include "scenario.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace calidra::simulator {

// How a camera reports a true temperature T: ambient + (T - ambient) x gainFactor + drift + offset.
struct CameraReading {
    double offsetCelsius = 0.0; // the user's compensation
    double driftCelsius = 0.0;
    double gainFactor = 1.0;

    // Exactly T + offset without drift or gain.
    double reported(double trueCelsius, double ambientCelsius) const {
        return trueCelsius + offsetCelsius + driftCelsius +
               (trueCelsius - ambientCelsius) * (gainFactor - 1.0);
    }
};

class CameraDrift {
public:
    // How long a shutter cycle blinds the camera.
    static constexpr double shutterClosedSeconds = 0.5;

    explicit CameraDrift(const DriftSettings& settings) : settings_(settings) {}

    // A commanded shutter cycle at seconds since the start.
    void shutterCycle(double seconds);
    // The error e(t) in degrees Celsius.
    double error(double seconds);
    // Within half a second after a shutter cycle, commanded or timed.
    bool shutterClosed(double seconds);
    CameraReading reading(double offsetCelsius, double seconds);

private:
    struct Cycle {
        uint64_t index = 0; // 0: power-on
        double startSeconds = 0.0;
    };
    Cycle lastCycle(double seconds) const; // mutex_ held
    double walk(const Cycle& cycle, double sinceSeconds);

    const DriftSettings settings_;
    std::mutex mutex_;
    std::vector<double> commanded_; // times of commanded cycles, in order
    // The walk's sum in millionths up to a whole second: the random walk is summed step by step, and
    // neighbouring times (frames, the truth log's seconds) move it by a step or two. Whole numbers add
    // and subtract exactly, so the value does not depend on the order of the questions.
    uint64_t walkCycle_ = 0;
    int64_t walkSteps_ = 0;
    int64_t walkMillionths_ = 0;
};

// Codes (offset scale) of recorded footage as the camera would report them.
void applyReading(const CameraReading& reading, double ambientCelsius, uint16_t* codes, std::size_t count);

} // namespace calidra::simulator
