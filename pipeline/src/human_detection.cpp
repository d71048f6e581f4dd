#include "pipeline/human_detection.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace calidra {
namespace {

constexpr double regionCeilingCelsius = 45.0;
constexpr double maximumAspect = 8.0;
constexpr double minimumAspect = 0.125;
constexpr int closingSize = 11;

void blankMaskRegions(cv::Mat& mask, const maskfile::MaskRecords& masks) {
    for (const MaskInfo& record : masks) {
        if (!maskfile::recordApplies(record, mask.cols, mask.rows))
            continue;
        mask(cv::Rect(record.nX, record.nY, record.nWidth, record.nHeight)).setTo(0);
    }
}

// Whole byte values in the band form one run, so a range test stands in for a per-value table
// and runs over many pixels at once.
void cutBand(const cv::Mat& detectionImage, const DetectionBand& band, cv::Mat& mask) {
    int first = -1;
    int last = -1;
    for (int value = 0; value < 256; ++value) {
        if (double(value) >= band.low && double(value) < band.high) {
            if (first < 0)
                first = value;
            last = value;
        }
    }
    mask.create(detectionImage.size(), CV_8UC1);
    if (first < 0) {
        mask.setTo(0);
        return;
    }
    const auto lowest = static_cast<uint8_t>(first);
    const auto span = static_cast<uint8_t>(last - first);
    const int width = detectionImage.cols;
    for (int row = 0; row < detectionImage.rows; ++row) {
        const uint8_t* __restrict source = detectionImage.ptr<uint8_t>(row);
        uint8_t* __restrict target = mask.ptr<uint8_t>(row);
        for (int column = 0; column < width; ++column)
            target[column] = static_cast<uint8_t>(source[column] - lowest) <= span ? 255 : 0;
    }
}

} // namespace

DetectionBand detectionBand(std::optional<PixelFormat> format, double detectionCelsius) {
    DetectionBand band;
    if (format == PixelFormat::Direct16) {
        band.low = detectionCelsius * 2.5;
        band.high = 125.0; // 50 degrees
    } else {
        band.low = (detectionCelsius + 10) * 1.6;
        band.high = 88.0; // 45 degrees
    }
    if (band.low == 256.0)
        band.low = 255.0;
    return band;
}

void HumanDetector::detectAndMeasure(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                                     const FrameSettings& settings, const maskfile::MaskRecords& masks,
                                     const TickSource& tick, DetectionResults& results) {
    const DetectionBand band = detectionBand(format, settings.detectionCelsius);
    cutBand(buffers.detectionImage, band, bandMask_);

    blankMaskRegions(bandMask_, masks);

    const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(closingSize, closingSize));
    cv::morphologyEx(bandMask_, closedMask_, cv::MORPH_CLOSE, element, cv::Point(-1, -1), 1,
                     cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());

    contours_.clear();
    if (!closedMask_.empty())
        cv::findContours(closedMask_, contours_, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);

    results.trackingTemperature = 0.0;
    results.detections.clear();
    results.frameAlarm = false;
    results.regionPassTick = tick ? tick() : 0;
    const bool directScale = format == PixelFormat::Direct16;

    for (const auto& contour : contours_) {
        cv::approxPolyDP(contour, polygon_, 1.0, true);
        const cv::Rect rectangle = cv::boundingRect(polygon_);
        const double aspect = double(rectangle.height) / double(rectangle.width);
        if (aspect > maximumAspect || aspect < minimumAspect ||
            int64_t(rectangle.width) * rectangle.height < settings.minimumRegionArea)
            continue;

        // Only the accepted rectangles are smoothed; the values match a whole-plane pass.
        const int maximumCode = smoother_.maximum(buffers.codePlane, rectangle);
        double celsius = directScale ? maximumCode * 0.1 : (maximumCode - 1000) * 0.1;
        celsius = std::min(celsius, regionCeilingCelsius);
        const bool alarm = celsius > settings.alarmCelsius && celsius <= regionCeilingCelsius;
        if (alarm)
            results.frameAlarm = true;
        if (celsius > settings.detectionCelsius && celsius <= regionCeilingCelsius)
            results.trackingTemperature = celsius;
        results.detections.push_back(Detection{rectangle.x, rectangle.y, rectangle.x + rectangle.width,
                                               rectangle.y + rectangle.height, celsius, alarm});
    }
    results.personPresent = !results.detections.empty();
}

} // namespace calidra
