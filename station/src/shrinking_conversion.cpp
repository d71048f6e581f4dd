#include "station/shrinking_conversion.h"

namespace calidra {
namespace {

// The source index whose pixel holds the centre of shown pixel `shown`: floor((shown + ½) ×
// source / shownCount) in integers.
int centreSample(int shown, int source, int shownCount) {
    return int((2LL * shown + 1) * source / (2LL * shownCount));
}

} // namespace

bool ShrinkingConversion::shrinks(const cv::Size& pictureSize, const cv::Size& shownSize) {
    return shownSize.width > 0 && shownSize.height > 0 && pictureSize.width > shownSize.width &&
           pictureSize.height > shownSize.height;
}

void ShrinkingConversion::convert(const cv::Mat& picture, const cv::Size& shownSize, cv::Mat& converted) {
    CV_Assert(picture.type() == CV_8UC3 && shrinks(picture.size(), shownSize));
    if (picture.size() != pictureSize_ || shownSize != shownSize_) {
        pictureSize_ = picture.size();
        shownSize_ = shownSize;
        columnOffsets_.resize(size_t(shownSize.width));
        for (int x = 0; x < shownSize.width; ++x)
            columnOffsets_[size_t(x)] = 3 * centreSample(x, pictureSize_.width, shownSize.width);
        rowIndices_.resize(size_t(shownSize.height));
        for (int y = 0; y < shownSize.height; ++y)
            rowIndices_[size_t(y)] = centreSample(y, pictureSize_.height, shownSize.height);
    }
    converted.create(shownSize, CV_8UC4);
    const int* columns = columnOffsets_.data();
    for (int y = 0; y < shownSize.height; ++y) {
        const uchar* source = picture.ptr<uchar>(rowIndices_[size_t(y)]);
        uchar* destination = converted.ptr<uchar>(y);
        for (int x = 0; x < shownSize.width; ++x, destination += 4) {
            const uchar* pixel = source + columns[x];
            destination[0] = pixel[0];
            destination[1] = pixel[1];
            destination[2] = pixel[2];
            destination[3] = 255;
        }
    }
}

} // namespace calidra
