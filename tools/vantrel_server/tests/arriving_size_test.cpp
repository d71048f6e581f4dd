#include "arriving_size.h"

#include <gtest/gtest.h>

namespace calidra {
namespace {

constexpr std::size_t bytes(int width, int height) {
    return std::size_t(width) * std::size_t(height) * 3;
}

TEST(ArrivingSizeTest, NamesTheSizeALengthFitsOrElseTheLength) {
    // The expected shape at another scale.
    EXPECT_EQ(arrivingSizeText(bytes(384, 288), 640, 480), "frames of 384 × 288 arrive; 640 × 480 expected");
    EXPECT_EQ(arrivingSizeText(bytes(768, 576), 384, 288), "frames of 768 × 576 arrive; 384 × 288 expected");
    // Another shape that cameras or video have; the scaled shape would not be whole pixels.
    EXPECT_EQ(arrivingSizeText(bytes(640, 512), 384, 288), "frames of 640 × 512 arrive; 384 × 288 expected");
    EXPECT_EQ(arrivingSizeText(bytes(1280, 720), 640, 480),
              "frames of 1280 × 720 arrive; 640 × 480 expected");
    // Lengths no size is sure of, a few bytes that happen to fit, and no whole pixels.
    EXPECT_EQ(arrivingSizeText(bytes(180, 180), 384, 288),
              "frames of 97200 bytes arrive; 384 × 288 expected (331776 bytes)");
    EXPECT_EQ(arrivingSizeText(bytes(4, 3), 640, 480),
              "frames of 36 bytes arrive; 640 × 480 expected (921600 bytes)");
    EXPECT_EQ(arrivingSizeText(bytes(384, 288) + 1, 384, 288),
              "frames of 331777 bytes arrive; 384 × 288 expected (331776 bytes)");
}

} // namespace
} // namespace calidra
