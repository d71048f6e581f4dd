#include "pipeline/frame_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace calidra {
namespace {

// Little-endian pixel bytes for a frame of 16-bit codes, or of (unused, code) word pairs.
std::vector<unsigned char> pixelBytes(const std::vector<uint16_t>& codes, PixelFormat format) {
    std::vector<unsigned char> bytes;
    for (uint16_t code : codes) {
        if (format == PixelFormat::RgbCode32) {
            bytes.push_back(0x5A); // first word is ignored
            bytes.push_back(0xA5);
        }
        bytes.push_back(static_cast<unsigned char>(code & 0xFF));
        bytes.push_back(static_cast<unsigned char>(code >> 8));
    }
    return bytes;
}

CameraFrame frameOf(const std::vector<unsigned char>& bytes, uint32_t width, uint32_t height,
                    std::optional<PixelFormat> format) {
    return CameraFrame{width, height, format, bytes.data()};
}

TEST(FrameBuffersTest, AllocatesTheFourBuffersAtTheCameraSize) {
    FrameBuffers buffers;
    buffers.allocate(384, 288);
    EXPECT_EQ(buffers.width(), 384);
    EXPECT_EQ(buffers.height(), 288);
    EXPECT_EQ(buffers.detectionImage.type(), CV_8UC1);
    EXPECT_EQ(buffers.codePlane.type(), CV_16UC1);
    EXPECT_EQ(buffers.renderImage.type(), CV_8UC3);
    EXPECT_EQ(buffers.cleanCopy.type(), CV_8UC3);
    EXPECT_TRUE(buffers.renderImage.isContinuous());
    EXPECT_EQ(buffers.cleanCopy.size(), cv::Size(384, 288));
}

TEST(FrameIntakeTest, WritesBothPlanesInRowMajorOrderWithoutReallocating) {
    FrameBuffers buffers;
    buffers.allocate(3, 2);
    const uchar* detectionStorage = buffers.detectionImage.data;
    const uchar* codeStorage = buffers.codePlane.data;
    const std::vector<uint16_t> codes = {1365, 1000, 800, 1450, 1449, 900};
    const auto bytes = pixelBytes(codes, PixelFormat::RgbCode32);

    const IntakeResult result = intakeFrame(frameOf(bytes, 3, 2, PixelFormat::RgbCode32), buffers);
    ASSERT_EQ(result.outcome, IntakeOutcome::Written);
    EXPECT_EQ(buffers.detectionImage.data, detectionStorage);
    EXPECT_EQ(buffers.codePlane.data, codeStorage);
    const uint8_t expectedBytes[6] = {74, 16, 240, 88, 87, 0};
    for (int index = 0; index < 6; ++index) {
        EXPECT_EQ(buffers.codePlane.at<uint16_t>(index / 3, index % 3), codes[index]) << index;
        EXPECT_EQ(buffers.detectionImage.at<uint8_t>(index / 3, index % 3), expectedBytes[index]) << index;
    }
    EXPECT_DOUBLE_EQ(result.extremes.maximumCelsius, 44.9);
    EXPECT_DOUBLE_EQ(result.extremes.minimumCelsius, -20.0);
}

TEST(FrameIntakeTest, ExtremesLeaveOutPixelsAtOrAboveFortyFive) {
    FrameBuffers buffers;
    buffers.allocate(2, 1);
    auto hot = pixelBytes({1450, 1600}, PixelFormat::Offset16);
    IntakeResult result = intakeFrame(frameOf(hot, 2, 1, PixelFormat::Offset16), buffers);
    EXPECT_EQ(result.outcome, IntakeOutcome::Written);
    EXPECT_EQ(result.extremes.maximumCelsius, -100.0);
    EXPECT_EQ(result.extremes.minimumCelsius, 45.0);

    auto justBelow = pixelBytes({1450, 1449}, PixelFormat::Offset16);
    result = intakeFrame(frameOf(justBelow, 2, 1, PixelFormat::Offset16), buffers);
    EXPECT_DOUBLE_EQ(result.extremes.maximumCelsius, 44.9);
    EXPECT_DOUBLE_EQ(result.extremes.minimumCelsius, 44.9);

    auto direct = pixelBytes({365, 449}, PixelFormat::Direct16);
    result = intakeFrame(frameOf(direct, 2, 1, PixelFormat::Direct16), buffers);
    EXPECT_DOUBLE_EQ(result.extremes.maximumCelsius, 44.9);
    EXPECT_DOUBLE_EQ(result.extremes.minimumCelsius, 36.5);
    EXPECT_EQ(buffers.detectionImage.at<uint8_t>(0, 0), 91);
}

TEST(FrameIntakeTest, UnknownFormatKeepsThePreviousPlanes) {
    FrameBuffers buffers;
    buffers.allocate(2, 1);
    auto first = pixelBytes({1365, 1300}, PixelFormat::Offset16);
    intakeFrame(frameOf(first, 2, 1, PixelFormat::Offset16), buffers);

    auto second = pixelBytes({1000, 1000}, PixelFormat::Offset16);
    const IntakeResult result = intakeFrame(frameOf(second, 2, 1, std::nullopt), buffers);
    EXPECT_EQ(result.outcome, IntakeOutcome::UnknownFormat);
    EXPECT_EQ(result.extremes.maximumCelsius, -100.0);
    EXPECT_EQ(result.extremes.minimumCelsius, 45.0);
    EXPECT_EQ(buffers.codePlane.at<uint16_t>(0, 0), 1365);
    EXPECT_EQ(buffers.codePlane.at<uint16_t>(0, 1), 1300);
    EXPECT_EQ(buffers.detectionImage.at<uint8_t>(0, 0), 74);
    EXPECT_EQ(buffers.skippedFrameCount(), 0u);
}

TEST(FrameIntakeTest, FrameOfAnotherSizeIsSkippedAndCounted) {
    FrameBuffers buffers;
    buffers.allocate(2, 2);
    auto fitting = pixelBytes({1100, 1200, 1300, 1400}, PixelFormat::Offset16);
    intakeFrame(frameOf(fitting, 2, 2, PixelFormat::Offset16), buffers);
    const cv::Mat detectionBefore = buffers.detectionImage.clone();
    const cv::Mat codesBefore = buffers.codePlane.clone();

    // Larger frames would overrun the buffers; a smaller one must not be mixed into them either.
    auto larger = pixelBytes(std::vector<uint16_t>(12, 1365), PixelFormat::Offset16);
    auto wider = pixelBytes(std::vector<uint16_t>(3, 1365), PixelFormat::Offset16);
    EXPECT_EQ(intakeFrame(frameOf(larger, 4, 3, PixelFormat::Offset16), buffers).outcome,
              IntakeOutcome::SizeMismatch);
    EXPECT_EQ(intakeFrame(frameOf(wider, 3, 1, PixelFormat::Offset16), buffers).outcome,
              IntakeOutcome::SizeMismatch);
    const IntakeResult result = intakeFrame(frameOf(larger, 2, 6, PixelFormat::Offset16), buffers);
    EXPECT_EQ(result.outcome, IntakeOutcome::SizeMismatch);
    EXPECT_EQ(result.extremes.maximumCelsius, -100.0);
    EXPECT_EQ(result.extremes.minimumCelsius, 45.0);
    EXPECT_EQ(buffers.skippedFrameCount(), 3u);
    EXPECT_EQ(cv::countNonZero(buffers.detectionImage != detectionBefore), 0);
    EXPECT_EQ(cv::countNonZero(buffers.codePlane != codesBefore), 0);

    // A new acquisition starts the count afresh.
    buffers.allocate(4, 3);
    EXPECT_EQ(buffers.skippedFrameCount(), 0u);
    EXPECT_EQ(intakeFrame(frameOf(larger, 4, 3, PixelFormat::Offset16), buffers).outcome,
              IntakeOutcome::Written);
}

TEST(FrameIntakeTest, NullPixelDataIsNotRead) {
    FrameBuffers buffers;
    buffers.allocate(2, 1);
    const IntakeResult result = intakeFrame(CameraFrame{2, 1, PixelFormat::Direct16, nullptr}, buffers);
    EXPECT_EQ(result.outcome, IntakeOutcome::NoPixels);
    EXPECT_EQ(result.extremes.maximumCelsius, -100.0);
    EXPECT_EQ(cv::countNonZero(buffers.codePlane), 0);
}

} // namespace
} // namespace calidra

namespace calidra {
namespace {

// The intake works on whole numbers and on codes; the description's formulas in double
// precision must give the same for every code.
TEST(FrameIntakeTest, EveryCodeGivesTheDoublePrecisionByteAndExtremes) {
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16, PixelFormat::RgbCode32}) {
        std::vector<uint16_t> codes(65536);
        for (uint32_t code = 0; code < 65536; ++code)
            codes[code] = static_cast<uint16_t>(code);
        std::reverse(codes.begin() + 20000, codes.end());
        FrameBuffers buffers;
        buffers.allocate(256, 256);
        const auto bytes = pixelBytes(codes, format);
        const IntakeResult result = intakeFrame(frameOf(bytes, 256, 256, format), buffers);
        double maximum = -100.0;
        double minimum = 45.0;
        for (int index = 0; index < 65536; ++index) {
            const uint16_t code = codes[std::size_t(index)];
            const double celsius = usesOffsetScale(format) ? (int(code) - 1000) * 0.1 : int(code) * 0.1;
            const int64_t byte = usesOffsetScale(format) ? int64_t((int(code) - 900) * 0.16) : code >> 2;
            ASSERT_EQ(buffers.detectionImage.at<uint8_t>(index / 256, index % 256), uint8_t(byte & 0xFF))
                << code;
            if (celsius < 45.0) {
                maximum = std::max(maximum, celsius);
                minimum = std::min(minimum, celsius);
            }
        }
        EXPECT_EQ(result.extremes.maximumCelsius, maximum);
        EXPECT_EQ(result.extremes.minimumCelsius, minimum);
    }
}

} // namespace
} // namespace calidra
