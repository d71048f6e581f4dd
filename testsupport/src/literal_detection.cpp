#include "testsupport/literal_detection.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace calidra::test {

void LiteralDetector::detectAndMeasure(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                                       const FrameSettings& settings, const maskfile::MaskRecords& masks,
                                       DetectionResults& results) {
    const DetectionBand band = detectionBand(format, settings.detectionCelsius);
    cv::Mat lookup(1, 256, CV_8U);
    for (int value = 0; value < 256; ++value)
        lookup.at<uint8_t>(value) = double(value) >= band.low && double(value) < band.high ? 255 : 0;
    cv::Mat mask;
    cv::LUT(buffers.detectionImage, lookup, mask);
    for (const MaskInfo& record : masks)
        if (maskfile::recordApplies(record, mask.cols, mask.rows))
            mask(cv::Rect(record.nX, record.nY, record.nWidth, record.nHeight)).setTo(0);

    const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(11, 11));
    cv::Mat closed;
    cv::morphologyEx(mask, closed, cv::MORPH_CLOSE, element, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                     cv::morphologyDefaultBorderValue());
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(closed, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);

    results.trackingTemperature = 0.0;
    results.detections.clear();
    results.frameAlarm = false;
    const bool directScale = format == PixelFormat::Direct16;
    const cv::Mat kernel(5, 5, CV_32F, cv::Scalar(1.0f / 25.0f));
    for (const auto& contour : contours) {
        std::vector<cv::Point> polygon;
        cv::approxPolyDP(contour, polygon, 1.0, true);
        const cv::Rect rectangle = cv::boundingRect(polygon);
        const double aspect = double(rectangle.height) / double(rectangle.width);
        if (aspect > 8.0 || aspect < 0.125 ||
            int64_t(rectangle.width) * rectangle.height < settings.minimumRegionArea)
            continue;
        cv::filter2D(buffers.codePlane, smoothed_, CV_16U, kernel, cv::Point(-1, -1), 0,
                     cv::BORDER_REFLECT_101);
        double maximumCode = 0.0;
        cv::minMaxLoc(smoothed_(rectangle), nullptr, &maximumCode);
        double celsius = directScale ? maximumCode * 0.1 : (maximumCode - 1000) * 0.1;
        celsius = std::min(celsius, temperatureCeilingCelsius);
        const bool alarm = celsius > settings.alarmCelsius && celsius <= temperatureCeilingCelsius;
        if (alarm)
            results.frameAlarm = true;
        if (celsius > settings.detectionCelsius && celsius <= temperatureCeilingCelsius)
            results.trackingTemperature = celsius;
        results.detections.push_back(Detection{rectangle.x, rectangle.y, rectangle.x + rectangle.width,
                                               rectangle.y + rectangle.height, celsius, alarm});
    }
    results.personPresent = !results.detections.empty();
}

} // namespace calidra::test
