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
    bandLookup_.create(1, 256, CV_8U);
    for (int value = 0; value < 256; ++value)
        bandLookup_.at<uint8_t>(value) = double(value) >= band.low && double(value) < band.high ? 255 : 0;
    cv::LUT(buffers.detectionImage, bandLookup_, bandMask_);

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
