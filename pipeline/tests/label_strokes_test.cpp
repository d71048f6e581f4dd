#include "pipeline/label_strokes.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace calidra {
namespace {

TEST(LabelStrokesTest, KeptStrokesDrawWhatTheFontDrawsAnywhereInThePicture) {
    // Readings of both units and signs, both label scales, thin and thick strokes, origins all over
    // the picture and past its edges, where only part of a label shows.
    cv::RNG random(8122026);
    cv::Mat background(120, 160, CV_8UC3);
    random.fill(background, cv::RNG::UNIFORM, 0, 256);
    LabelStrokes strokes;
    for (int trial = 0; trial < 600; ++trial) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", random.uniform(-400, 1200) / 10.0);
        const double scale = trial % 2 ? 1.5 : 1.0;
        const int thickness = trial % 5 == 0 ? 2 : 0;
        const cv::Point origin(random.uniform(-40, 180), random.uniform(-20, 150));
        const cv::Scalar colour(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256));
        cv::Mat expected = background.clone();
        cv::putText(expected, text, origin, cv::FONT_HERSHEY_DUPLEX, scale, colour, thickness, cv::LINE_8);
        cv::Mat drawn = background.clone();
        strokes.draw(drawn, text, origin, scale, thickness, colour);
        cv::Mat differs;
        cv::compare(drawn.reshape(1), expected.reshape(1), differs, cv::CMP_NE);
        ASSERT_EQ(cv::countNonZero(differs), 0) << text << " at " << origin << ", scale " << scale;
    }
}

} // namespace
} // namespace calidra
