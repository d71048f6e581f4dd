#include "pipeline/overlays.h"

#include "pipeline/label_placement.h"
#include "pipeline/label_strokes.h"

#include <opencv2/imgproc.hpp>

#include <charconv>
#include <string>

namespace calidra {
namespace {

const cv::Scalar alarmColour(0, 0, 255);
const cv::Scalar regionColour(0, 255, 0);
const cv::Scalar labelColour(0, 255, 0);

cv::Rect regionOf(const Detection& detection) {
    return cv::Rect(detection.left, detection.top, detection.right - detection.left,
                    detection.bottom - detection.top);
}

// As printf's "%.1f" writes it, without going through the locale and format machinery.
std::string labelOf(const Detection& detection, TemperatureUnit unit) {
    char label[32];
    const std::to_chars_result written = std::to_chars(
        label, label + sizeof label, toDisplayUnit(detection.temperature, unit), std::chars_format::fixed, 1);
    return std::string(label, written.ptr);
}

cv::Point labelOrigin(const Detection& detection, const LabelStyle& style) {
    return cv::Point(detection.left + 1, detection.top + style.offsetBelowTopPixels);
}

// Each detection's label text and where it goes, in list order; drawing and the footprint place
// them alike, so the footprint covers the labels where they are drawn.
template <typename Visit>
void forEachLabel(const DetectionList& detections, const LabelStyle& style, TemperatureUnit unit,
                  cv::Size picture, Visit visit) {
    // Kept per thread so a frame places its handful of labels without allocating.
    thread_local std::vector<cv::Rect> placed;
    placed.clear();
    for (const Detection& detection : detections) {
        const std::string label = labelOf(detection, unit);
        int baseline = 0;
        const cv::Size text =
            cv::getTextSize(label, cv::FONT_HERSHEY_DUPLEX, style.fontScale, labelStrokeThickness, &baseline);
        const cv::Point origin =
            placeLabel(regionOf(detection), labelOrigin(detection, style), text, picture, placed);
        placed.push_back(labelBox(origin, text));
        visit(detection, label, origin, text, baseline);
    }
}

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
    // Kept per thread: each frame thread draws the same few readings frame after frame.
    thread_local LabelStrokes strokes;
    forEachLabel(detections, style, unit, bgrPicture.size(),
                 [&](const Detection& detection, const std::string& label, cv::Point origin, cv::Size, int) {
                     cv::rectangle(bgrPicture, regionOf(detection),
                                   detection.alarm ? alarmColour : regionColour, 1, cv::LINE_8);
                     strokes.draw(bgrPicture, label, origin, style.fontScale, labelStrokeThickness,
                                  labelColour);
                 });
}

void overlayFootprint(const DetectionList& detections, int fontSize, TemperatureUnit unit, cv::Size picture,
                      std::vector<cv::Rect>& areas) {
    areas.clear();
    const cv::Rect whole(cv::Point(), picture);
    const LabelStyle style = labelStyle(fontSize);
    const auto add = [&](const cv::Rect& area) {
        const cv::Rect inside = area & whole;
        if (!inside.empty())
            areas.push_back(inside);
    };
    forEachLabel(
        detections, style, unit, picture,
        [&](const Detection& detection, const std::string&, cv::Point origin, cv::Size text, int baseline) {
            // The four one-pixel edges, each with a pixel of room on both sides.
            const cv::Rect region = regionOf(detection);
            add(cv::Rect(region.x - 1, region.y - 1, region.width + 2, 3));
            add(cv::Rect(region.x - 1, region.y + region.height - 2, region.width + 2, 3));
            add(cv::Rect(region.x - 1, region.y - 1, 3, region.height + 2));
            add(cv::Rect(region.x + region.width - 2, region.y - 1, 3, region.height + 2));
            // The label's box from its origin, with room for the strokes' ends.
            constexpr int room = 4;
            add(cv::Rect(origin.x - room, origin.y - text.height - room, text.width + 2 * room,
                         text.height + baseline + 2 * room));
        });
}

} // namespace calidra
