#include "pipeline/temperature_scale.h"

#include <gtest/gtest.h>

namespace calidra {
namespace {

TEST(PixelFormatTest, KnowsThePixelLayoutOfTheThreeFormats) {
    EXPECT_EQ(bytesPerPixel(PixelFormat::Offset16), 2u);
    EXPECT_EQ(bytesPerPixel(PixelFormat::Direct16), 2u);
    EXPECT_EQ(bytesPerPixel(PixelFormat::RgbCode32), 4u);

    // Little-endian words; RgbCode32 carries the code in its second word.
    const unsigned char pixel[4] = {0x34, 0x12, 0x55, 0x05};
    EXPECT_EQ(pixelCode(pixel, PixelFormat::Offset16), 0x1234);
    EXPECT_EQ(pixelCode(pixel, PixelFormat::Direct16), 0x1234);
    EXPECT_EQ(pixelCode(pixel, PixelFormat::RgbCode32), 1365);
}

TEST(CodeScaleTest, OffsetAndDirectScales) {
    EXPECT_DOUBLE_EQ(codeToCelsius(1365, PixelFormat::RgbCode32), 36.5);
    EXPECT_DOUBLE_EQ(codeToCelsius(1365, PixelFormat::Offset16), 36.5);
    EXPECT_DOUBLE_EQ(codeToCelsius(1000, PixelFormat::Offset16), 0.0);
    EXPECT_DOUBLE_EQ(codeToCelsius(800, PixelFormat::Offset16), -20.0);
    EXPECT_DOUBLE_EQ(codeToCelsius(365, PixelFormat::Direct16), 36.5);
    EXPECT_DOUBLE_EQ(codeToCelsius(0, PixelFormat::Direct16), 0.0);
    EXPECT_DOUBLE_EQ(codeToCelsius(65535, PixelFormat::Direct16), 6553.5);
}

TEST(DetectionByteTest, OffsetScaleIncludingTheWrap) {
    EXPECT_EQ(detectionByte(900, PixelFormat::Offset16), 0);    // -10 degrees
    EXPECT_EQ(detectionByte(1365, PixelFormat::RgbCode32), 74); // 36.5 degrees
    EXPECT_EQ(detectionByte(1450, PixelFormat::Offset16), 88);  // 45 degrees
    EXPECT_EQ(detectionByte(800, PixelFormat::Offset16), 240);  // -20 degrees: low byte of -16
    EXPECT_EQ(detectionByte(2494, PixelFormat::Offset16), 255); // 149.4 degrees, top of the band
    EXPECT_EQ(detectionByte(2500, PixelFormat::Offset16), 0);   // 150 degrees wraps to 256 & 255
    EXPECT_EQ(detectionByte(0, PixelFormat::Offset16), 112);    // -144 truncated toward zero
}

TEST(DetectionByteTest, DirectScaleIncludingTheWrap) {
    EXPECT_EQ(detectionByte(365, PixelFormat::Direct16), 91);
    EXPECT_EQ(detectionByte(500, PixelFormat::Direct16), 125);
    EXPECT_EQ(detectionByte(1023, PixelFormat::Direct16), 255);
    EXPECT_EQ(detectionByte(1024, PixelFormat::Direct16), 0); // 102.4 degrees wraps
    EXPECT_EQ(detectionByte(65535, PixelFormat::Direct16), 255);
}

TEST(TemperatureUnitTest, ConvertsOnlyForFahrenheit) {
    EXPECT_EQ(toDisplayUnit(37.5, TemperatureUnit::Celsius), 37.5);
    EXPECT_EQ(toCelsius(98.6, TemperatureUnit::Celsius), 98.6);
    EXPECT_EQ(toDisplayUnit(37.5, TemperatureUnit::Fahrenheit), 99.5);
    // Plain double arithmetic, not rounded to a nicer number.
    EXPECT_EQ(toCelsius(98.6, TemperatureUnit::Fahrenheit), 36.99999999999999);
    EXPECT_EQ(toCelsius(32.0, TemperatureUnit::Fahrenheit), 0.0);
    EXPECT_DOUBLE_EQ(
        toCelsius(toDisplayUnit(-12.3, TemperatureUnit::Fahrenheit), TemperatureUnit::Fahrenheit), -12.3);
}

} // namespace
} // namespace calidra
