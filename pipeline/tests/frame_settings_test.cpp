#include "pipeline/frame_settings.h"

#include <gtest/gtest.h>

namespace calidra {
namespace {

TEST(FrameSettingsTest, EmptyOrMissingBoxesGiveTheCelsiusFallbacks) {
    for (TemperatureUnit unit : {TemperatureUnit::Celsius, TemperatureUnit::Fahrenheit}) {
        FrameSettingsTexts texts;
        texts.detectionTemperature = "";
        texts.alarmSavePeriod = "";
        const FrameSettings settings = readFrameSettings(texts, unit);
        EXPECT_EQ(settings.detectionCelsius, 30.0);
        EXPECT_EQ(settings.alarmCelsius, 35.0);
        EXPECT_EQ(settings.alarmSavePeriodMs, 5000);
        EXPECT_EQ(settings.minimumRegionArea, 100);
    }
}

TEST(FrameSettingsTest, TypedValuesAreConvertedFromTheDisplayUnit) {
    FrameSettingsTexts texts{std::string("98.6"), std::string("99.5"), std::string("3"), std::string("250")};
    const FrameSettings fahrenheit = readFrameSettings(texts, TemperatureUnit::Fahrenheit);
    EXPECT_EQ(fahrenheit.detectionCelsius, 36.99999999999999);
    EXPECT_DOUBLE_EQ(fahrenheit.alarmCelsius, 37.5);
    EXPECT_EQ(fahrenheit.alarmSavePeriodMs, 3000);
    EXPECT_EQ(fahrenheit.minimumRegionArea, 250);

    texts.detectionTemperature = "31.5";
    EXPECT_EQ(readFrameSettings(texts, TemperatureUnit::Celsius).detectionCelsius, 31.5);
}

TEST(FrameSettingsTest, UnparsableTextGivesZeroAndPrefixesCount) {
    FrameSettingsTexts texts{std::string("abc"), std::string(" 37.5x"), std::string("x5"), std::string("-")};
    const FrameSettings settings = readFrameSettings(texts, TemperatureUnit::Celsius);
    EXPECT_EQ(settings.detectionCelsius, 0.0);
    EXPECT_EQ(settings.alarmCelsius, 37.5);
    EXPECT_EQ(settings.alarmSavePeriodMs, 0);
    EXPECT_EQ(settings.minimumRegionArea, 0);

    // Seconds saturate at the largest int, which milliseconds still hold.
    EXPECT_EQ(readFrameSettings({std::nullopt, std::nullopt, std::string("9223372036854776"), std::nullopt},
                                TemperatureUnit::Celsius)
                  .alarmSavePeriodMs,
              int64_t(2147483647) * 1000);
}

} // namespace
} // namespace calidra
