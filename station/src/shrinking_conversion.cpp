#include "station/shrinking_conversion.h"

#include <QtEndian>

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
    const int width = shownSize.width;
    for (int y = 0; y < shownSize.height; ++y) {
        const uchar* source = picture.ptr<uchar>(rowIndices_[size_t(y)]);
        uchar* destination = converted.ptr<uchar>(y);
        // A pixel read as one little-endian word with its right neighbour's first byte, which the
        // 255 then covers: blue, green, red, 255 in memory on any byte order. The columns are
        // distinct while shrinking, so only the last one may lack a neighbour in its row.
        for (int x = 0; x + 1 < width; ++x)
            qToLittleEndian(qFromLittleEndian<quint32>(source + columns[x]) | 0xff000000u,
                            destination + 4 * x);
        const uchar* last = source + columns[width - 1];
        uchar* lastDestination = destination + 4 * (width - 1);
        lastDestination[0] = last[0];
        lastDestination[1] = last[1];
        lastDestination[2] = last[2];
        lastDestination[3] = 255;
    }
}

} // namespace calidra
