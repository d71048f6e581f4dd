#pragma once
// One accepted warm region of a frame.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace calidra {

struct Detection {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;        // left + width: one past the last column
    int32_t bottom = 0;       // top + height: one past the last row
    double temperature = 0.0; // degrees Celsius, at most temperatureCeilingCelsius
    bool alarm = false;

    int64_t area() const { return int64_t(right - left) * int64_t(bottom - top); }
};

using DetectionList = std::vector<Detection>;

// The warmest region's temperature; 0.0 without any region.
inline double highestTemperature(const DetectionList& detections) {
    const auto warmest =
        std::max_element(detections.begin(), detections.end(), [](const Detection& a, const Detection& b) {
            return a.temperature < b.temperature;
        });
    return warmest == detections.end() ? 0.0 : warmest->temperature;
}

} // namespace calidra
