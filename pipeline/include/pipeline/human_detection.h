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

// The operator's values for one frame, already in degrees Celsius and milliseconds. Until an
// operator's values are published, a station runs with those of a first start.
struct FrameSettings {
    double detectionCelsius = 32.0;
    double alarmCelsius = 37.5;
    int64_t alarmSavePeriodMs = 2000;
    int64_t minimumRegionArea = 40;
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
    // The threshold in force: what every region's temperature was compared with, in degrees
    // Celsius. Whoever reports the threshold (the snapshot caption) reads it here.
    double alarmThresholdCelsius = 0.0;
};

// A run of byte values: lowest <= byte <= lowest + span.
struct ByteRun {
    uint8_t lowest = 0;
    uint8_t span = 0;
};

// Morphological closing of a 0/255 mask with an 11 x 11 square anchored at its centre, pixels
// outside the image never counting: what morphologyEx gives with its default border, worked out
// on 64 pixels per word. Only for masks whose every byte is 0 or 255.
class MaskCloser {
public:
    static constexpr int size = 11;

    void close(const cv::Mat& mask, cv::Mat& closed);
    // The closing of the mask of the bytes in band (none when empty), blanked rectangles clear.
    void closeBand(const cv::Mat& detectionImage, std::optional<ByteRun> band,
                   const std::vector<cv::Rect>& blanked, cv::Mat& closed);

    // The bounding box of the last closing's set pixels; empty when none is set.
    cv::Rect extent() const { return extent_; }

private:
    // clear: the packed bits start clear, for filling that leaves words unwritten.
    void prepare(int width, int rows, bool clear);
    void closePacked(cv::Mat& closed);
    void spreadSquare(uint64_t* bits, std::size_t count);
    void clearPadding(uint64_t* words, std::size_t count) const;

    std::size_t wordsPerRow_ = 0;
    cv::Rect extent_;
    std::vector<uint64_t> rowMask_;   // the bits of one row that are image columns
    std::size_t firstPaddedWord_ = 0; // the first of them with padding bits
    std::vector<uint64_t> bits_;
    std::vector<uint64_t> first_;
    std::vector<uint64_t> second_;
    std::vector<uint64_t> third_;
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
    std::vector<cv::Rect> blanked_;
    cv::Mat closedMask_;
    MaskCloser closer_;
    RegionSmoother smoother_;
    std::vector<std::vector<cv::Point>> contours_;
    std::vector<cv::Point> polygon_;
};

} // namespace calidra
