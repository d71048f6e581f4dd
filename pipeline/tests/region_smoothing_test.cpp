#include "pipeline/region_smoothing.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace calidra {
namespace {

// The measurement as first written: a 1/25 single-precision kernel over the whole plane.
cv::Mat wholePlaneMeans(const cv::Mat& codePlane) {
    const cv::Mat kernel(5, 5, CV_32F, cv::Scalar(1.0f / 25.0f));
    cv::Mat smoothed;
    cv::filter2D(codePlane, smoothed, CV_16U, kernel, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
    return smoothed;
}

// Rectangles that touch every border and corner, one pixel thin ones, the whole frame, and random ones.
std::vector<cv::Rect> rectanglesFor(const cv::Size& size, cv::RNG& random) {
    const int w = size.width;
    const int h = size.height;
    std::vector<cv::Rect> rectangles = {
        {0, 0, w, h},     {0, 0, 1, 1},     {w - 1, h - 1, 1, 1},
        {w - 1, 0, 1, h}, {0, h - 1, w, 1}, {0, 0, std::min(w, 3), std::min(h, 3)},
        {w / 2, 0, 1, h},
    };
    for (int sample = 0; sample < 40; ++sample) {
        const int x = random.uniform(0, w);
        const int y = random.uniform(0, h);
        rectangles.emplace_back(x, y, random.uniform(1, w - x + 1), random.uniform(1, h - y + 1));
    }
    return rectangles;
}

void expectIdenticalToWholePlane(const cv::Mat& codePlane, cv::RNG& random, const char* what) {
    const cv::Mat reference = wholePlaneMeans(codePlane);
    RegionSmoother smoother;
    cv::Mat smoothed;
    for (const cv::Rect& rectangle : rectanglesFor(codePlane.size(), random)) {
        smoother.smooth(codePlane, rectangle, smoothed);
        ASSERT_EQ(smoothed.size(), rectangle.size());
        const cv::Mat differs = smoothed != reference(rectangle);
        ASSERT_EQ(cv::countNonZero(differs), 0)
            << what << ", plane " << codePlane.size() << ", rectangle " << rectangle;
        double expectedMaximum = 0.0;
        cv::minMaxLoc(reference(rectangle), nullptr, &expectedMaximum);
        ASSERT_EQ(smoother.maximum(codePlane, rectangle), uint16_t(expectedMaximum)) << what << rectangle;
    }
}

const std::vector<cv::Size> planeSizes = {{384, 288}, {64, 48}, {17, 5}, {5, 17}, {7, 7}, {4, 3},
                                          {2, 9},     {9, 2},   {1, 6},  {6, 1},  {1, 1}};

TEST(RegionSmoothingTest, MatchesTheWholePlaneFilterOnSceneCodes) {
    cv::RNG random(20261207);
    for (const cv::Size& size : planeSizes) {
        cv::Mat plane(size, CV_16UC1);
        // Both code scales of a scene, and past them to the highest codes the exact sums cover alone.
        random.fill(plane, cv::RNG::UNIFORM, 0, 1600);
        expectIdenticalToWholePlane(plane, random, "scene codes");
        random.fill(plane, cv::RNG::UNIFORM, 0, 12427);
        expectIdenticalToWholePlane(plane, random, "codes below 12427");
        // A room with a few warm faces, some at the edges, where only a few windows can hold the
        // largest mean.
        random.fill(plane, cv::RNG::UNIFORM, 1220, 1224);
        for (int spot = 0; spot < 6; ++spot) {
            const cv::Point corner(random.uniform(-2, size.width), random.uniform(-2, size.height));
            const cv::Rect face = cv::Rect(corner, cv::Size(random.uniform(1, 7), random.uniform(1, 7))) &
                                  cv::Rect(cv::Point(), size);
            if (!face.empty())
                plane(face) += cv::Scalar(random.uniform(100, 180));
        }
        expectIdenticalToWholePlane(plane, random, "warm spots");
    }
}

TEST(RegionSmoothingTest, MatchesTheWholePlaneFilterAcrossTheWholeCodeRange) {
    cv::RNG random(7);
    for (const cv::Size& size : planeSizes) {
        cv::Mat plane(size, CV_16UC1);
        random.fill(plane, cv::RNG::UNIFORM, 0, 65536);
        expectIdenticalToWholePlane(plane, random, "any code");
        // Large sums are where single-precision rounding can go its own way.
        random.fill(plane, cv::RNG::UNIFORM, 60000, 65536);
        expectIdenticalToWholePlane(plane, random, "codes near the top");
    }
}

TEST(RegionSmoothingTest, MatchesTheWholePlaneFilterOnExtremeCodes) {
    cv::RNG random(11);
    for (const cv::Size& size : {cv::Size(40, 30), cv::Size(3, 8), cv::Size(1, 1)}) {
        expectIdenticalToWholePlane(cv::Mat(size, CV_16UC1, cv::Scalar(0)), random, "all 0");
        expectIdenticalToWholePlane(cv::Mat(size, CV_16UC1, cv::Scalar(65535)), random, "all 65535");

        cv::Mat mixed(size, CV_16UC1);
        random.fill(mixed, cv::RNG::UNIFORM, 0, 2);
        mixed *= 65535;
        expectIdenticalToWholePlane(mixed, random, "0 and 65535");

        cv::Mat checkerboard(size, CV_16UC1);
        for (int row = 0; row < size.height; ++row)
            for (int column = 0; column < size.width; ++column)
                checkerboard.at<uint16_t>(row, column) = (row + column) % 2 ? 65535 : 0;
        expectIdenticalToWholePlane(checkerboard, random, "checkerboard");
    }
}

TEST(RegionSmoothingTest, FollowsTheFilterWhereItsRoundingLeavesTheExactMean) {
    // Found by search: the exact mean is 58916.52, the single-precision sum rounds it down. The
    // centre pixel of a 5 x 5 plane sees exactly these codes.
    const uint16_t codes[25] = {61111, 62147, 55458, 50095, 51834, 63416, 60477, 64926, 62745,
                                57562, 57553, 64386, 55170, 58589, 64602, 52402, 63706, 63877,
                                63052, 54927, 53125, 51210, 60506, 57106, 62931};
    const cv::Mat plane = cv::Mat(5, 5, CV_16UC1, const_cast<uint16_t*>(codes)).clone();
    const cv::Mat reference = wholePlaneMeans(plane);
    RegionSmoother smoother;
    cv::Mat smoothed;
    smoother.smooth(plane, cv::Rect(2, 2, 1, 1), smoothed);
    EXPECT_EQ(smoothed.at<uint16_t>(0, 0), reference.at<uint16_t>(2, 2));
    smoother.smooth(plane, cv::Rect(0, 0, 5, 5), smoothed);
    EXPECT_EQ(cv::countNonZero(smoothed != reference), 0);
}

TEST(RegionSmoothingTest, PlaneThatIsAViewMirrorsAtItsOwnEdges) {
    cv::RNG random(3);
    cv::Mat image(60, 80, CV_16UC1);
    random.fill(image, cv::RNG::UNIFORM, 1000, 1500);
    const cv::Mat view = image(cv::Rect(10, 8, 50, 40));
    const cv::Mat reference = wholePlaneMeans(view.clone());
    RegionSmoother smoother;
    cv::Mat smoothed;
    const cv::Rect corner(0, 0, 6, 6);
    smoother.smooth(view, corner, smoothed);
    EXPECT_EQ(cv::countNonZero(smoothed != reference(corner)), 0);

    // The fallback for the highest codes must keep to the view's edges as well.
    random.fill(image, cv::RNG::UNIFORM, 60000, 65536);
    const cv::Mat highReference = wholePlaneMeans(view.clone());
    smoother.smooth(view, cv::Rect(0, 0, 50, 40), smoothed);
    EXPECT_EQ(cv::countNonZero(smoothed != highReference), 0);
}

TEST(RegionSmoothingTest, MaximumOfAHotPixelAndOfNothing) {
    cv::Mat plane(48, 64, CV_16UC1, cv::Scalar(1300));
    plane.at<uint16_t>(20, 25) = 1400;
    RegionSmoother smoother;
    EXPECT_EQ(smoother.maximum(plane, cv::Rect(20, 10, 12, 24)), 1304); // (24 x 1300 + 1400) / 25
    EXPECT_EQ(smoother.maximum(plane, cv::Rect(20, 10, 0, 24)), 0);
    // Reaching past the plane is measured on the part inside it.
    EXPECT_EQ(smoother.maximum(plane, cv::Rect(60, 40, 10, 10)), 1300);
}

} // namespace
} // namespace calidra
