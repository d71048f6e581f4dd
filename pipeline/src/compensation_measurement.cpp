#include "pipeline/compensation_measurement.h"

#include <cstdio>
#include <numeric>

namespace calidra {

const char* const CompensationMeasurement::collectingText =
    "Collecting the temperature information... Do not move!";
const char* const CompensationMeasurement::standInCentreText =
    "Please let the subject of measurement stand in the center of the camera.";

void CompensationMeasurement::start() {
    generation_.fetch_add(1);
    measuring_.store(true);
}

std::optional<std::string>
CompensationMeasurement::step(const DetectionList& detections,
                              const std::function<std::optional<double>()>& readOffset) {
    if (!measuring_.load())
        return std::nullopt;
    const uint32_t generation = generation_.load();
    if (generation != samplesGeneration_) {
        samples_.clear();
        samplesGeneration_ = generation;
    }
    const Detection* largest = nullptr;
    for (const Detection& detection : detections)
        if (largest == nullptr || detection.area() > largest->area())
            largest = &detection;
    if (largest == nullptr || largest->area() < minimumArea) {
        statusText_ = standInCentreText;
        return std::nullopt;
    }
    statusText_ = collectingText;
    samples_.push_back(largest->temperature);
    if (samples_.size() < sampleCount)
        return std::nullopt;

    const double mean = std::accumulate(samples_.begin(), samples_.end(), 0.0) / double(samples_.size());
    const double current = readOffset ? readOffset().value_or(0.0) : 0.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", current + (targetCelsius - mean));
    samples_.clear();
    statusText_.clear();
    // A restart that came in meanwhile keeps its own run going.
    if (generation_.load() == generation)
        measuring_.store(false);
    return std::string(text);
}

} // namespace calidra
