#pragma once
// What the picture shows while screening is paused (temperature mode Reference without a lock):
// people still boxed, in grey and without any temperature, so nobody reads a stale number.

#include "pipeline/detection.h"
#include "pipeline/reference_tracker.h"

#include <opencv2/core.hpp>

namespace calidra {

void drawPausedOverlays(cv::Mat& bgrPicture, const DetectionList& detections);

// The screen's notice for a paused station, as the pipeline hands it to the picture; empty while
// screening runs. The front ends translate it.
const char* pausedScreeningNotice(ReferenceState state);

} // namespace calidra
