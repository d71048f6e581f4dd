#include "pipeline/paused_overlays.h"

#include <opencv2/imgproc.hpp>

namespace calidra {

void drawPausedOverlays(cv::Mat& bgrPicture, const DetectionList& detections) {
    if (bgrPicture.empty())
        return;
    const cv::Scalar grey(160, 160, 160);
    for (const Detection& detection : detections)
        cv::rectangle(bgrPicture,
                      cv::Rect(detection.left, detection.top, detection.right - detection.left,
                               detection.bottom - detection.top),
                      grey, 1, cv::LINE_8);
}

} // namespace calidra
