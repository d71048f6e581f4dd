#pragma once
// What the picture shows while screening is paused (temperature mode Reference without a lock):
// people still boxed, in grey and without any temperature, so nobody reads a stale number.

#include "pipeline/detection.h"

#include <opencv2/core.hpp>

namespace calidra {

void drawPausedOverlays(cv::Mat& bgrPicture, const DetectionList& detections);

} // namespace calidra
