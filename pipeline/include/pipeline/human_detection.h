#pragma once
// Finding warm, person-shaped regions in a frame and measuring their temperature.

#include "pipeline/detection.h"
#include "pipeline/frame_buffers.h"
#include "pipeline/region_smoothing.h"
#include "pipeline/temperature_scale.h"

#include "maskfile/maskinfo.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace calidra {

// The operator's values for one frame, already in degrees Celsius and milliseconds.
struct FrameSettings {
    double detectionCelsius = 30.0;
    double alarmCelsius = 35.0;
    int64_t alarmSavePeriodMs = 5000;
    int64_t minimumRegionArea = 100;
};

// Band of skin temperatures in detection-byte units: low <= byte < high.
struct DetectionBand {
    double low = 0.0;
    double high = 0.0;
};

DetectionBand detectionBand(std::optional<PixelFormat> format, double detectionCelsius);

struct DetectionResults {
    DetectionList detections; // in the contour finder's order
    double trackingTemperature = 0.0;
    bool personPresent = false;
    bool frameAlarm = false;
    uint32_t regionPassTick = 0;
};

// Keeps its working images between frames so a steady frame size allocates nothing new.
class HumanDetector {
public:
    using TickSource = std::function<uint32_t()>;

    void detectAndMeasure(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                          const FrameSettings& settings, const maskfile::MaskRecords& masks,
                          const TickSource& tick, DetectionResults& results);

    // The last frame's band mask after masking and closing; for inspection.
    const cv::Mat& closedMask() const { return closedMask_; }

private:
    cv::Mat bandMask_;
    cv::Mat closedMask_;
    RegionSmoother smoother_;
    std::vector<std::vector<cv::Point>> contours_;
    std::vector<cv::Point> polygon_;
};

} // namespace calidra
