#pragma once
// The pipeline's BGR picture shrunk to the size the window paints it at, straight into the
// window's painting format (see PictureSource): only the shown pixels are read and written.

#include <opencv2/core.hpp>

#include <vector>

namespace calidra {

class ShrinkingConversion {
public:
    // True when the window shows fewer pixels than the picture has in both directions.
    static bool shrinks(const cv::Size& pictureSize, const cv::Size& shownSize);

    // Each shown pixel is the picture's pixel nearest its centre, as the raster engine's
    // non-smooth stretch picks it, as blue, green, red, 255. The picture is CV_8UC3 and shrinks;
    // the destination's memory is reused for pictures of one size.
    void convert(const cv::Mat& picture, const cv::Size& shownSize, cv::Mat& converted);

private:
    cv::Size pictureSize_;
    cv::Size shownSize_;
    std::vector<int> columnOffsets_; // byte offset in a picture row of each shown column's pixel
    std::vector<int> rowIndices_;    // the picture row of each shown row
};

} // namespace calidra
