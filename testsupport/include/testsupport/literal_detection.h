#pragma once
// The detection exactly as first described, the reference the fast one is checked against in tests
// and benchmarks: the 5 x 5 mean is computed with filter2D over the whole code plane once for
// every accepted region.

#include "pipeline/human_detection.h"

namespace calidra::test {

class LiteralDetector {
public:
    void detectAndMeasure(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                          const FrameSettings& settings, const maskfile::MaskRecords& masks,
                          DetectionResults& results);

private:
    cv::Mat smoothed_;
};

} // namespace calidra::test
