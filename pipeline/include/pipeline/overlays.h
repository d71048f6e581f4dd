#pragma once
// Rectangles and temperature labels drawn over the rendered picture.

#include "pipeline/detection.h"
#include "pipeline/temperature_scale.h"

#include <opencv2/core.hpp>

#include <vector>

namespace calidra {

struct LabelStyle {
    double fontScale = 1.0;
    int offsetBelowTopPixels = 0; // baseline distance below the rectangle's top
};

// 0 "Normal" and 1 "Large"; any other value gives scale 1.0 on the rectangle's top edge.
LabelStyle labelStyle(int fontSize);

// The thinnest strokes: the text drawing takes 0 and draws one-pixel lines.
constexpr int labelStrokeThickness = 0;

// In list order, later detections over earlier ones: red for an alarmed region, green otherwise,
// the label in green in the display unit with one decimal, inside the picture and clear of the
// labels before it (placeLabel).
void drawOverlays(cv::Mat& bgrPicture, const DetectionList& detections, int fontSize, TemperatureUnit unit);

// Areas of a picture of that size holding every pixel drawOverlays may change (some overlap).
void overlayFootprint(const DetectionList& detections, int fontSize, TemperatureUnit unit, cv::Size picture,
                      std::vector<cv::Rect>& areas);

} // namespace calidra
