#include "pipeline/region_smoothing.h"

#include <opencv2/imgproc.hpp>

#include <cstdlib>

namespace calidra {
namespace {

constexpr int radius = RegionSmoother::size / 2;
constexpr uint32_t cellCount = RegionSmoother::size * RegionSmoother::size;

// The single-precision sum of 25 codes times fl(1/25) is within 27 * 2^-24 of the true mean
// (relative), whatever the order of the additions or fused multiply-adds. The true mean is
// S / 25 with S an integer, so it never sits on a half and is |2r - 25| / 50 away from one
// (r = S mod 25). While the error bound stays below that distance the float sum rounds to the
// same code as the exact mean; this holds for every S below 310689 (means below 12427, far above
// the 0..150 degree codes of a scene), and for most larger ones.
inline bool roundingIsCertain(uint32_t sum, uint32_t remainder) {
    const uint64_t distanceTimes50 = uint64_t(std::abs(int(2 * remainder) - int(cellCount)));
    return 54u * uint64_t(sum) < (distanceTimes50 << 24);
}

} // namespace

bool RegionSmoother::boxMeans(const cv::Mat& codePlane, const cv::Rect& rectangle, uint16_t* out,
                              std::size_t outStep) {
    const int paddedWidth = rectangle.width + 2 * radius;
    const int paddedHeight = rectangle.height + 2 * radius;
    sourceColumns_.resize(std::size_t(paddedWidth));
    sourceRows_.resize(std::size_t(paddedHeight));
    columnSums_.assign(std::size_t(paddedWidth), 0);
    for (int column = 0; column < paddedWidth; ++column)
        sourceColumns_[column] =
            cv::borderInterpolate(rectangle.x - radius + column, codePlane.cols, cv::BORDER_REFLECT_101);
    for (int row = 0; row < paddedHeight; ++row)
        sourceRows_[row] = codePlane.ptr<uint16_t>(
            cv::borderInterpolate(rectangle.y - radius + row, codePlane.rows, cv::BORDER_REFLECT_101));

    const int* columns = sourceColumns_.data();
    uint32_t* sums = columnSums_.data();
    for (int row = 0; row < size; ++row) {
        const uint16_t* source = sourceRows_[row];
        for (int column = 0; column < paddedWidth; ++column)
            sums[column] += source[columns[column]];
    }

    bool certain = true;
    for (int row = 0; row < rectangle.height; ++row) {
        if (row > 0) {
            // Slide the five-row window down by one: add the new bottom row, drop the old top one.
            const uint16_t* entering = sourceRows_[row + size - 1];
            const uint16_t* leaving = sourceRows_[row - 1];
            for (int column = 0; column < paddedWidth; ++column)
                sums[column] += uint32_t(entering[columns[column]]) - uint32_t(leaving[columns[column]]);
        }
        uint16_t* target = reinterpret_cast<uint16_t*>(reinterpret_cast<unsigned char*>(out) + row * outStep);
        uint32_t sum = sums[0] + sums[1] + sums[2] + sums[3] + sums[4];
        for (int column = 0; column < rectangle.width; ++column) {
            const uint32_t quotient = sum / cellCount;
            const uint32_t remainder = sum - quotient * cellCount;
            target[column] = uint16_t(quotient + (remainder > cellCount / 2 ? 1u : 0u));
            certain &= roundingIsCertain(sum, remainder);
            if (column + size < paddedWidth)
                sum += sums[column + size] - sums[column];
        }
    }
    return certain;
}

void RegionSmoother::literalMeans(const cv::Mat& codePlane, const cv::Rect& rectangle, cv::Mat& smoothed) {
    // filter2D on a view reads the real neighbours around it and mirrors only at the plane's own
    // edges, so the view gives the whole-plane values. A plane that is itself a view of a larger
    // image would lend its surroundings instead: copy it first.
    const cv::Mat kernel(size, size, CV_32F, cv::Scalar(1.0f / float(cellCount)));
    const cv::Mat* plane = &codePlane;
    if (codePlane.isSubmatrix()) {
        codePlane.copyTo(scratch_);
        plane = &scratch_;
    }
    cv::filter2D((*plane)(rectangle), smoothed, CV_16U, kernel, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
}

void RegionSmoother::smooth(const cv::Mat& codePlane, const cv::Rect& rectangle, cv::Mat& smoothed) {
    CV_Assert(codePlane.type() == CV_16UC1);
    const cv::Rect inside = rectangle & cv::Rect(0, 0, codePlane.cols, codePlane.rows);
    smoothed.create(inside.height, inside.width, CV_16UC1);
    if (inside.empty())
        return;
    if (!boxMeans(codePlane, inside, smoothed.ptr<uint16_t>(), smoothed.step))
        literalMeans(codePlane, inside, smoothed);
}

uint16_t RegionSmoother::maximum(const cv::Mat& codePlane, const cv::Rect& rectangle) {
    smooth(codePlane, rectangle, smoothed_);
    if (smoothed_.empty())
        return 0;
    double largest = 0.0;
    cv::minMaxLoc(smoothed_, nullptr, &largest);
    return uint16_t(largest);
}

} // namespace calidra
