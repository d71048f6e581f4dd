#include "pipeline/region_smoothing.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>

namespace calidra {
namespace {

constexpr int radius = RegionSmoother::size / 2;
constexpr uint32_t cellCount = RegionSmoother::size * RegionSmoother::size;

// The single-precision sum of 25 codes times fl(1/25) is within 27 * 2^-24 of the true mean
// (relative), whatever the order of the additions or fused multiply-adds. The true mean is
// S / 25 with S an integer, so it never sits on a half and is |2r - 25| / 50 away from one
// (r = S mod 25). While the error bound stays below that distance the float sum rounds to the
// same code as the exact mean. That holds for every sum below certainSumLimit (means below
// 12427, far above the codes of any scene), and for most larger ones.
constexpr uint32_t certainSumLimit = 310689;

inline bool roundingIsCertain(uint32_t sum, uint32_t remainder) {
    const uint64_t distanceTimes50 = uint64_t(std::abs(int(2 * remainder) - int(cellCount)));
    return 54u * uint64_t(sum) < (distanceTimes50 << 24);
}

inline uint16_t roundedMean(uint32_t sum) {
    return uint16_t((sum + cellCount / 2) / cellCount);
}

} // namespace

void RegionSmoother::startWindow(const cv::Mat& codePlane, const cv::Rect& rectangle) {
    const int paddedWidth = rectangle.width + 2 * radius;
    const int paddedHeight = rectangle.height + 2 * radius;
    sourceColumns_.resize(std::size_t(paddedWidth));
    sourceRows_.resize(std::size_t(paddedHeight));
    columnSums_.assign(std::size_t(paddedWidth), 0);
    rowSums_.resize(std::size_t(rectangle.width));
    for (int column = 0; column < paddedWidth; ++column)
        sourceColumns_[column] =
            cv::borderInterpolate(rectangle.x - radius + column, codePlane.cols, cv::BORDER_REFLECT_101);
    for (int row = 0; row < paddedHeight; ++row)
        sourceRows_[row] = codePlane.ptr<uint16_t>(
            cv::borderInterpolate(rectangle.y - radius + row, codePlane.rows, cv::BORDER_REFLECT_101));
    // Window columns that are plain plane columns; only the up to two at each side are mirrored.
    firstPlainColumn_ = std::max(0, radius - rectangle.x);
    endPlainColumn_ = std::min(paddedWidth, codePlane.cols - rectangle.x + radius);
    windowLeft_ = rectangle.x - radius;
    windowRow_ = -1;
}

namespace {

// The column loops get the processor's widest vectors, picked at load time (the baseline
// instruction set has no packed 32-bit maximum).
// Not under the thread sanitizer: its hooks in the load-time chooser run before it is set up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define CALIDRA_SUM_LOOP __attribute__((target_clones("avx2", "sse4.1", "default")))
#else
#define CALIDRA_SUM_LOOP
#endif

CALIDRA_SUM_LOOP void addCodes(const uint16_t* __restrict source, uint32_t* __restrict sums, int count) {
    for (int column = 0; column < count; ++column)
        sums[column] += source[column];
}

// Adds one row and takes away another in one pass; the sums wrap in between but end exact.
CALIDRA_SUM_LOOP void exchangeCodes(const uint16_t* __restrict added, const uint16_t* __restrict dropped,
                                    uint32_t* __restrict sums, int count) {
    for (int column = 0; column < count; ++column)
        sums[column] += uint32_t(added[column]) - uint32_t(dropped[column]);
}

CALIDRA_SUM_LOOP void fiveColumnSums(const uint32_t* __restrict sums, uint32_t* __restrict out, int width) {
    for (int column = 0; column < width; ++column)
        out[column] =
            sums[column] + sums[column + 1] + sums[column + 2] + sums[column + 3] + sums[column + 4];
}

// Sums stay below 2^21, so they compare as signed values.
CALIDRA_SUM_LOOP int32_t largestFiveColumnSum(const uint32_t* __restrict sums, int width, int32_t largest) {
    for (int column = 0; column < width; ++column)
        largest = std::max(largest, int32_t(sums[column] + sums[column + 1] + sums[column + 2] +
                                            sums[column + 3] + sums[column + 4]));
    return largest;
}

// The largest 25-code sum of a rectangle whose window lies wholly inside the plane: rows are
// the window's source rows from its left column on, height + 4 of them. All in one loop nest so
// the vector loops run without a call between rows; the running maxima stay per column.
CALIDRA_SUM_LOOP int32_t largestInsideSum(const uint16_t* const* rows, int left, int width, int height,
                                          uint32_t* __restrict sums, int32_t* __restrict maxima) {
    const int paddedWidth = width + RegionSmoother::size - 1;
    std::fill_n(sums, paddedWidth, 0u);
    std::fill_n(maxima, width, 0);
    for (int row = 0; row < RegionSmoother::size; ++row) {
        const uint16_t* __restrict source = rows[row] + left;
        for (int column = 0; column < paddedWidth; ++column)
            sums[column] += source[column];
    }
    for (int row = 0;; ++row) {
        // Sums stay below 2^21, so they compare as signed values.
        for (int column = 0; column < width; ++column)
            maxima[column] =
                std::max(maxima[column], int32_t(sums[column] + sums[column + 1] + sums[column + 2] +
                                                 sums[column + 3] + sums[column + 4]));
        if (row + 1 == height)
            break;
        const int aheadRow = row + RegionSmoother::size + 4;
        if (aheadRow < height + RegionSmoother::size - 1)
            for (int offset = 0; offset < paddedWidth; offset += 32)
                __builtin_prefetch(rows[aheadRow] + left + offset);
        const uint16_t* __restrict added = rows[row + RegionSmoother::size] + left;
        const uint16_t* __restrict dropped = rows[row] + left;
        for (int column = 0; column < paddedWidth; ++column)
            sums[column] += uint32_t(added[column]) - uint32_t(dropped[column]);
    }
    int32_t largest = 0;
    for (int column = 0; column < width; ++column)
        largest = std::max(largest, maxima[column]);
    return largest;
}

// The largest code of each of count rows of width codes, step codes apart, in one loop nest.
CALIDRA_SUM_LOOP void largestCodes(const uint16_t* __restrict codes, std::size_t step, int width, int count,
                                   uint16_t* __restrict largest) {
    for (int row = 0; row < count; ++row, codes += step) {
        uint16_t rowLargest = 0;
        for (int column = 0; column < width; ++column)
            rowLargest = std::max(rowLargest, codes[column]);
        largest[row] = rowLargest;
    }
}

// The 25-code sum of the window centred at (column, row), mirrored at the plane's edges.
uint32_t windowSum(const cv::Mat& codePlane, int column, int row) {
    uint32_t sum = 0;
    for (int dy = -radius; dy <= radius; ++dy) {
        const uint16_t* codes =
            codePlane.ptr<uint16_t>(cv::borderInterpolate(row + dy, codePlane.rows, cv::BORDER_REFLECT_101));
        for (int dx = -radius; dx <= radius; ++dx)
            sum += codes[cv::borderInterpolate(column + dx, codePlane.cols, cv::BORDER_REFLECT_101)];
    }
    return sum;
}

} // namespace

cv::Rect RegionSmoother::windowsThatMayBeLargest(const cv::Mat& codePlane, const cv::Rect& rectangle) {
    // Every code a window of the rectangle reads, mirrored ones included, lies within two pixels
    // of the rectangle inside the plane (the mirror of a pixel past an edge is as near as it).
    const cv::Rect sources = cv::Rect(rectangle.x - radius, rectangle.y - radius,
                                      rectangle.width + 2 * radius, rectangle.height + 2 * radius) &
                             cv::Rect(0, 0, codePlane.cols, codePlane.rows);
    rowLargest_.resize(std::size_t(sources.height));
    largestCodes(codePlane.ptr<uint16_t>(sources.y) + sources.x, codePlane.step1(), sources.width,
                 sources.height, rowLargest_.data());
    // One known window: the one nearest the warmest code.
    const int warmestRow =
        int(std::max_element(rowLargest_.begin(), rowLargest_.end()) - rowLargest_.begin());
    const uint16_t warmest = rowLargest_[std::size_t(warmestRow)];
    const uint16_t* warmestCodes = codePlane.ptr<uint16_t>(sources.y + warmestRow) + sources.x;
    const int warmestColumn =
        int(std::find(warmestCodes, warmestCodes + sources.width, warmest) - warmestCodes);
    const cv::Point known(
        std::clamp(sources.x + warmestColumn, rectangle.x, rectangle.x + rectangle.width - 1),
        std::clamp(sources.y + warmestRow, rectangle.y, rectangle.y + rectangle.height - 1));
    // A window summing to more than the known one holds a code above a 25th of its sum, and so
    // is centred within two pixels of such a code.
    const uint32_t threshold = windowSum(codePlane, known.x, known.y) / cellCount + 1;
    if (threshold > warmest)
        return cv::Rect(known, cv::Size(1, 1));
    int top = sources.height;
    int bottom = -1;
    int left = sources.width;
    int right = -1;
    const auto above = [threshold](uint16_t code) { return code >= threshold; };
    for (int row = 0; row < sources.height; ++row) {
        if (rowLargest_[std::size_t(row)] < threshold)
            continue;
        top = std::min(top, row);
        bottom = row;
        const uint16_t* codes = codePlane.ptr<uint16_t>(sources.y + row) + sources.x;
        left = std::min(left, int(std::find_if(codes, codes + left, above) - codes));
        for (int column = sources.width - 1; column > right; --column)
            if (above(codes[column])) {
                right = column;
                break;
            }
    }
    return cv::Rect(sources.x + left - radius, sources.y + top - radius, right - left + 1 + 2 * radius,
                    bottom - top + 1 + 2 * radius) &
           rectangle;
}

// Column sums of the five source rows around the next rectangle row. Only the up to two window
// columns at each side that reach past the plane are looked up through the mirrored column list.
void RegionSmoother::advanceColumnSums() {
    const int paddedWidth = int(columnSums_.size());
    uint32_t* __restrict sums = columnSums_.data();
    const int* columns = sourceColumns_.data();
    const int plainCount = endPlainColumn_ - firstPlainColumn_;
    const int plainStart = windowLeft_ + firstPlainColumn_;
    const auto mirrored = [&](const uint16_t* source, bool subtract) {
        for (int column = 0; column < firstPlainColumn_; ++column)
            sums[column] += subtract ? -uint32_t(source[columns[column]]) : source[columns[column]];
        for (int column = endPlainColumn_; column < paddedWidth; ++column)
            sums[column] += subtract ? -uint32_t(source[columns[column]]) : source[columns[column]];
    };
    if (windowRow_ < 0) {
        for (int row = 0; row < size; ++row) {
            mirrored(sourceRows_[row], false);
            addCodes(sourceRows_[row] + plainStart, sums + firstPlainColumn_, plainCount);
        }
    } else {
        // A rectangle row is a short piece of a long plane row, too far from the last one for the
        // hardware to fetch ahead: ask for the piece a few rows down now.
        constexpr int rowsAhead = 4;
        const int aheadRow = windowRow_ + size + rowsAhead;
        if (aheadRow < int(sourceRows_.size())) {
            const auto* ahead = reinterpret_cast<const char*>(sourceRows_[aheadRow] + plainStart);
            const int bytes = plainCount * int(sizeof(uint16_t));
            for (int offset = 0; offset < bytes; offset += 64)
                __builtin_prefetch(ahead + offset);
        }
        // Slide the five-row window down by one: add the new bottom row, drop the old top one.
        const uint16_t* added = sourceRows_[windowRow_ + size];
        const uint16_t* dropped = sourceRows_[windowRow_];
        mirrored(added, false);
        mirrored(dropped, true);
        exchangeCodes(added + plainStart, dropped + plainStart, sums + firstPlainColumn_, plainCount);
    }
    ++windowRow_;
}

const uint32_t* RegionSmoother::nextRowSums() {
    advanceColumnSums();
    fiveColumnSums(columnSums_.data(), rowSums_.data(), int(rowSums_.size()));
    return rowSums_.data();
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
    startWindow(codePlane, inside);
    bool certain = true;
    for (int row = 0; row < inside.height; ++row) {
        const uint32_t* sums = nextRowSums();
        uint16_t* target = smoothed.ptr<uint16_t>(row);
        for (int column = 0; column < inside.width; ++column) {
            const uint32_t sum = sums[column];
            target[column] = roundedMean(sum);
            if (sum >= certainSumLimit)
                certain &= roundingIsCertain(sum, sum % cellCount);
        }
    }
    if (!certain)
        literalMeans(codePlane, inside, smoothed);
}

uint16_t RegionSmoother::maximum(const cv::Mat& codePlane, const cv::Rect& rectangle) {
    CV_Assert(codePlane.type() == CV_16UC1);
    const cv::Rect whole = rectangle & cv::Rect(0, 0, codePlane.cols, codePlane.rows);
    if (whole.empty())
        return 0;
    // Rounding never reverses an order, so the largest mean comes from the largest sum, and the
    // windows that cannot hold it need no sum.
    const cv::Rect inside = windowsThatMayBeLargest(codePlane, whole);
    startWindow(codePlane, inside);
    int32_t largestSum = 0;
    if (firstPlainColumn_ == 0 && endPlainColumn_ == int(columnSums_.size())) {
        columnMaxima_.resize(std::size_t(inside.width));
        largestSum = largestInsideSum(sourceRows_.data(), windowLeft_, inside.width, inside.height,
                                      columnSums_.data(), columnMaxima_.data());
    } else {
        for (int row = 0; row < inside.height; ++row) {
            advanceColumnSums();
            largestSum = largestFiveColumnSum(columnSums_.data(), inside.width, largestSum);
        }
    }
    if (uint32_t(largestSum) < certainSumLimit)
        return roundedMean(uint32_t(largestSum));
    smooth(codePlane, inside, smoothed_);
    double largest = 0.0;
    cv::minMaxLoc(smoothed_, nullptr, &largest);
    return uint16_t(largest);
}

} // namespace calidra
