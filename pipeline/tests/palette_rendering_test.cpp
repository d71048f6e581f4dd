#include "pipeline/palette_rendering.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace calidra {
namespace {

std::vector<unsigned char> codeBytes(const std::vector<uint16_t>& codes) {
    std::vector<unsigned char> bytes;
    for (uint16_t code : codes) {
        bytes.push_back(static_cast<unsigned char>(code & 0xFF));
        bytes.push_back(static_cast<unsigned char>(code >> 8));
    }
    return bytes;
}

TEST(PaletteIndexTest, FactorIsTheExactSinglePrecisionValue) {
    uint32_t bits = 0;
    std::memcpy(&bits, &paletteIndexFactor, sizeof bits);
    EXPECT_EQ(bits, 0x3F945D17u);
}

TEST(PaletteIndexTest, DirectScaleCodes) {
    EXPECT_EQ(paletteIndex(365, PixelFormat::Direct16), 214);
    EXPECT_EQ(paletteIndex(180, PixelFormat::Direct16), 0);
    EXPECT_EQ(paletteIndex(0, PixelFormat::Direct16), 0);
    EXPECT_EQ(paletteIndex(181, PixelFormat::Direct16), 1);
    EXPECT_EQ(paletteIndex(400, PixelFormat::Direct16), 255);
    EXPECT_EQ(paletteIndex(401, PixelFormat::Direct16), 255);
    EXPECT_EQ(paletteIndex(32767, PixelFormat::Direct16), 255);
    // Codes with the top bit set are negative as signed 16-bit values.
    EXPECT_EQ(paletteIndex(32768, PixelFormat::Direct16), 0);
    EXPECT_EQ(paletteIndex(65535, PixelFormat::Direct16), 0);
}

TEST(PaletteIndexTest, OffsetScaleCodes) {
    EXPECT_EQ(paletteIndex(1180, PixelFormat::Offset16), 0);
    EXPECT_EQ(paletteIndex(1400, PixelFormat::Offset16), 255);
    EXPECT_EQ(paletteIndex(1401, PixelFormat::Offset16), 255);
    EXPECT_EQ(paletteIndex(1365, PixelFormat::Offset16), 214);
    EXPECT_EQ(paletteIndex(999, PixelFormat::Offset16), 0); // -1 after the subtraction
    EXPECT_EQ(paletteIndex(0, PixelFormat::Offset16), 0);   // wraps to 64536, i.e. -1000
    // 1000 + 32768 wraps to the most negative value, not to a hot one.
    EXPECT_EQ(paletteIndex(33768, PixelFormat::Offset16), 0);
    EXPECT_EQ(paletteIndex(33767, PixelFormat::Offset16), 255);
}

TEST(OwnPaletteRenderingTest, WritesBlueGreenRedOfTheIndexedRow) {
    cv::Mat render(1, 3, CV_8UC3, cv::Scalar(1, 2, 3));
    const auto bytes = codeBytes({365, 100, 40000});
    ASSERT_TRUE(
        renderOwnPalette(CameraFrame{3, 1, PixelFormat::Direct16, bytes.data()}, paletteTable(1), render));
    EXPECT_EQ(render.at<cv::Vec3b>(0, 0), cv::Vec3b(214, 214, 214));
    EXPECT_EQ(render.at<cv::Vec3b>(0, 1), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(render.at<cv::Vec3b>(0, 2), cv::Vec3b(0, 0, 0));

    // Table 0 row 0 is #01034A: red 0x01, green 0x03, blue 0x4A.
    ASSERT_TRUE(
        renderOwnPalette(CameraFrame{3, 1, PixelFormat::Direct16, bytes.data()}, paletteTable(0), render));
    EXPECT_EQ(render.at<cv::Vec3b>(0, 1), cv::Vec3b(0x4A, 0x03, 0x01));
    const PaletteRow& row214 = paletteTable(0)[214];
    EXPECT_EQ(render.at<cv::Vec3b>(0, 0),
              cv::Vec3b(uchar(row214.blue), uchar(row214.green), uchar(row214.red)));
}

TEST(OwnPaletteRenderingTest, RowsStayInCameraOrder) {
    cv::Mat render(2, 1, CV_8UC3);
    const auto bytes = codeBytes({1180, 1400});
    ASSERT_TRUE(
        renderOwnPalette(CameraFrame{1, 2, PixelFormat::Offset16, bytes.data()}, paletteTable(1), render));
    EXPECT_EQ(render.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(render.at<cv::Vec3b>(1, 0), cv::Vec3b(255, 255, 255));
}

TEST(OwnPaletteRenderingTest, LeavesThePictureAloneWhenItCannotDraw) {
    cv::Mat render(2, 2, CV_8UC3, cv::Scalar(7, 8, 9));
    const cv::Mat before = render.clone();
    const auto bytes = codeBytes(std::vector<uint16_t>(6, 365));
    EXPECT_FALSE(
        renderOwnPalette(CameraFrame{3, 2, PixelFormat::Direct16, bytes.data()}, paletteTable(1), render));
    EXPECT_FALSE(
        renderOwnPalette(CameraFrame{2, 3, PixelFormat::Direct16, bytes.data()}, paletteTable(1), render));
    EXPECT_FALSE(
        renderOwnPalette(CameraFrame{2, 2, PixelFormat::Direct16, nullptr}, paletteTable(1), render));
    EXPECT_FALSE(
        renderOwnPalette(CameraFrame{2, 2, PixelFormat::RgbCode32, bytes.data()}, paletteTable(1), render));
    EXPECT_FALSE(renderOwnPalette(CameraFrame{2, 2, std::nullopt, bytes.data()}, paletteTable(1), render));
    cv::Mat difference;
    cv::absdiff(render, before, difference);
    EXPECT_EQ(cv::countNonZero(difference.reshape(1)), 0);
}

TEST(CameraPictureTest, FlipsRowsInPlace) {
    // A 2 x 2 camera picture with rows A (top) and B.
    cv::Mat render(2, 2, CV_8UC3);
    const uchar* storage = render.data;
    const unsigned char camera[12] = {1, 2, 3, 4, 5, 6, /* B: */ 7, 8, 9, 10, 11, 12};
    std::memcpy(render.data, camera, sizeof camera);
    flipCameraPicture(render);
    EXPECT_EQ(render.data, storage);
    const unsigned char expected[12] = {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(render.data, expected, sizeof expected), 0);

    // Odd height: the middle row stays where it is.
    cv::Mat tall(3, 1, CV_8UC3);
    const unsigned char rows[9] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
    std::memcpy(tall.data, rows, sizeof rows);
    flipCameraPicture(tall);
    const unsigned char flipped[9] = {3, 3, 3, 2, 2, 2, 1, 1, 1};
    EXPECT_EQ(std::memcmp(tall.data, flipped, sizeof flipped), 0);
}

} // namespace
} // namespace calidra

namespace calidra {
namespace {

TEST(OwnPaletteRenderingTest, EveryCodeShowsTheRowOfItsIndex) {
    std::vector<unsigned char> bytes;
    for (uint32_t code = 0; code < 65536; ++code) {
        bytes.push_back(static_cast<unsigned char>(code & 0xFF));
        bytes.push_back(static_cast<unsigned char>(code >> 8));
    }
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16}) {
        const CameraFrame frame{256, 256, format, bytes.data()};
        const PaletteTable& palette = paletteTable(14);
        cv::Mat picture(256, 256, CV_8UC3, cv::Scalar::all(7));
        ASSERT_TRUE(renderOwnPalette(frame, palette, picture));
        for (uint32_t code = 0; code < 65536; ++code) {
            const PaletteRow& row = palette[std::size_t(paletteIndex(uint16_t(code), format))];
            const cv::Vec3b pixel = picture.at<cv::Vec3b>(int(code / 256), int(code % 256));
            ASSERT_EQ(pixel, cv::Vec3b(uchar(row.blue), uchar(row.green), uchar(row.red))) << code;
        }
    }
}

} // namespace
} // namespace calidra
