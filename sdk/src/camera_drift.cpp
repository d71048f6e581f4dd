#include "camera_drift.h"

#include <algorithm>
#include <cmath>

namespace calidra::simulator {

namespace {

uint64_t splitMix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

// A uniform number in (0, 1) for (seed, cycle, step, which): a hash rather than an engine, so that
// any step of any cycle can be had without drawing all before it.
double uniform(uint32_t seed, uint64_t cycle, int64_t step, int which) {
    const uint64_t hash = splitMix(splitMix(splitMix(seed) ^ cycle) ^ (uint64_t(step) * 4 + uint64_t(which)));
    return (double(hash >> 11) + 0.5) / 9007199254740992.0; // 2^53
}

// A standard normal value by Box–Muller, the same on every platform.
double standardNormal(uint32_t seed, uint64_t cycle, int64_t step) {
    return std::sqrt(-2.0 * std::log(uniform(seed, cycle, step, 1))) *
           std::cos(2.0 * M_PI * uniform(seed, cycle, step, 2));
}

int64_t stepMillionths(uint32_t seed, uint64_t cycle, int64_t step) {
    return std::llround(standardNormal(seed, cycle, step) * 1e6);
}

} // namespace

void CameraDrift::shutterCycle(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    commanded_.insert(std::upper_bound(commanded_.begin(), commanded_.end(), seconds), seconds);
}

CameraDrift::Cycle CameraDrift::lastCycle(double seconds) const {
    const double every = settings_.shutterEverySeconds;
    Cycle cycle;
    for (const double commanded : commanded_) {
        if (commanded > seconds) {
            break;
        }
        if (every > 0.0) { // the timed cycles before it
            cycle.index += uint64_t(std::max(0.0, std::ceil((commanded - cycle.startSeconds) / every) - 1.0));
        }
        ++cycle.index;
        cycle.startSeconds = commanded; // the timer starts again from a commanded cycle
    }
    if (every > 0.0 && seconds > cycle.startSeconds) {
        const double timed = std::floor((seconds - cycle.startSeconds) / every);
        cycle.index += uint64_t(timed);
        cycle.startSeconds += timed * every;
    }
    return cycle;
}

double CameraDrift::walk(const Cycle& cycle, double sinceSeconds) {
    if (settings_.walkCelsiusPerRootMinute == 0.0) {
        return 0.0;
    }
    if (cycle.index != walkCycle_) {
        walkCycle_ = cycle.index;
        walkSteps_ = 0;
        walkMillionths_ = 0;
    }
    // One step a second; between whole seconds the walk moves along a straight line.
    const double wholeSeconds = std::floor(sinceSeconds);
    const int64_t steps = int64_t(wholeSeconds);
    while (walkSteps_ < steps) {
        walkMillionths_ += stepMillionths(settings_.seed, cycle.index, ++walkSteps_);
    }
    while (walkSteps_ > steps) {
        walkMillionths_ -= stepMillionths(settings_.seed, cycle.index, walkSteps_--);
    }
    const double partial =
        (sinceSeconds - wholeSeconds) * double(stepMillionths(settings_.seed, cycle.index, steps + 1));
    const double stepCelsius = settings_.walkCelsiusPerRootMinute / std::sqrt(60.0);
    return stepCelsius * (double(walkMillionths_) + partial) * 1e-6;
}

double CameraDrift::error(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    seconds = std::max(seconds, 0.0);
    const double warmUp = settings_.settleSeconds > 0.0
                              ? settings_.startCelsius * std::exp(-seconds / settings_.settleSeconds)
                              : 0.0;
    const Cycle cycle = lastCycle(seconds);
    const double residual = cycle.index == 0 ? 0.0
                                             : settings_.shutterResidualCelsius *
                                                   (2.0 * uniform(settings_.seed, cycle.index, 0, 0) - 1.0);
    const double since = seconds - cycle.startSeconds;
    return warmUp + residual + settings_.rampCelsiusPerMinute * since / 60.0 + walk(cycle, since);
}

bool CameraDrift::shutterClosed(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Cycle cycle = lastCycle(seconds);
    return cycle.index > 0 && seconds - cycle.startSeconds < shutterClosedSeconds;
}

CameraReading CameraDrift::reading(double offsetCelsius, double seconds) {
    CameraReading reading;
    reading.offsetCelsius = offsetCelsius;
    reading.driftCelsius = error(seconds);
    reading.gainFactor = 1.0 + settings_.gain;
    return reading;
}

void applyReading(const CameraReading& reading, double ambientCelsius, uint16_t* codes, std::size_t count) {
    // In codes: code' = code x gainFactor + shift, with code 1000 + 10 x ambient kept where it is.
    const double ambientCode = 1000.0 + 10.0 * ambientCelsius;
    const double shift =
        10.0 * (reading.offsetCelsius + reading.driftCelsius) + ambientCode * (1.0 - reading.gainFactor);
    const float factor = float(reading.gainFactor), added = float(shift) + 0.5f;
    for (std::size_t i = 0; i < count; ++i) {
        const float value = std::clamp(float(codes[i]) * factor + added, 0.0f, 65535.0f);
        codes[i] = uint16_t(value); // rounded by the half added: never below zero here
    }
}

} // namespace calidra::simulator
