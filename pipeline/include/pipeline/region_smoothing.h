#pragma once
// The 5 x 5 mean of the code plane over one rectangle, for measuring a region's temperature.

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace calidra {

// Gives exactly the values a whole-plane filter2D with a single-precision 1/25 kernel, mirrored
// borders without repeating the edge pixel (BORDER_REFLECT_101) and rounding to 16 bits gives
// inside the rectangle, but from integer box sums over the rectangle alone. Keeps its working
// rows between calls so a steady region size allocates nothing new.
class RegionSmoother {
public:
    static constexpr int size = 5;

    // codePlane is CV_16UC1; rectangle must lie inside it. smoothed becomes rectangle-sized CV_16UC1.
    void smooth(const cv::Mat& codePlane, const cv::Rect& rectangle, cv::Mat& smoothed);

    // The largest smoothed code inside the rectangle; 0 for an empty rectangle.
    uint16_t maximum(const cv::Mat& codePlane, const cv::Rect& rectangle);

private:
    // The part of the rectangle holding the centre of every window whose sum can be the largest.
    cv::Rect windowsThatMayBeLargest(const cv::Mat& codePlane, const cv::Rect& rectangle);
    void startWindow(const cv::Mat& codePlane, const cv::Rect& rectangle);
    // Moves the five-row column sums down to the next row of the rectangle.
    void advanceColumnSums();
    // The 25-code sums of the next row of the rectangle, one per column.
    const uint32_t* nextRowSums();
    void literalMeans(const cv::Mat& codePlane, const cv::Rect& rectangle, cv::Mat& smoothed);

    std::vector<int> sourceColumns_;
    std::vector<const uint16_t*> sourceRows_;
    std::vector<uint32_t> columnSums_;
    std::vector<uint32_t> rowSums_;
    std::vector<int32_t> columnMaxima_;
    std::vector<uint16_t> rowLargest_;
    int firstPlainColumn_ = 0;
    int endPlainColumn_ = 0;
    int windowLeft_ = 0;
    int windowRow_ = -1;
    cv::Mat smoothed_;
    cv::Mat scratch_;
};

} // namespace calidra
