#include "pipeline/overlays.h"

#include <opencv2/imgproc.hpp>

#include <cstdio>

namespace calidra {
namespace {

const cv::Scalar alarmColour(0, 0, 255);
const cv::Scalar regionColour(0, 255, 0);
const cv::Scalar labelColour(0, 255, 0);

} // namespace

LabelStyle labelStyle(int fontSize) {
    switch (fontSize) {
    case 0:
        return {1.0, 23};
    case 1:
        return {1.5, 33};
    default:
        return {1.0, 0};
    }
}

void drawOverlays(cv::Mat& bgrPicture, const DetectionList& detections, int fontSize, TemperatureUnit unit) {
    if (bgrPicture.empty())
        return;
    const LabelStyle style = labelStyle(fontSize);
    for (const Detection& detection : detections) {
        const cv::Rect region(detection.left, detection.top, detection.right - detection.left,
                              detection.bottom - detection.top);
        cv::rectangle(bgrPicture, region, detection.alarm ? alarmColour : regionColour, 1, cv::LINE_8);
        char label[32];
        std::snprintf(label, sizeof label, "%.1f", toDisplayUnit(detection.temperature, unit));
        cv::putText(bgrPicture, label,
                    cv::Point(detection.left + 1, detection.top + style.offsetBelowTopPixels),
                    cv::FONT_HERSHEY_DUPLEX, style.fontScale, labelColour, labelStrokeThickness, cv::LINE_8);
    }
}

} // namespace calidra
