#include "settings/field_text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace calidra {
namespace {

TEST(FieldTextTest, IntegersAreReadFromTheStart) {
    EXPECT_EQ(parseFieldInteger("120"), 120);
    EXPECT_EQ(parseFieldInteger("  7 sec"), 7);
    EXPECT_EQ(parseFieldInteger("-3x"), -3);
    EXPECT_EQ(parseFieldInteger(""), 0);
    EXPECT_EQ(parseFieldInteger("sec"), 0);
    EXPECT_EQ(parseFieldInteger("2.9"), 2);
    EXPECT_EQ(parseFieldInteger("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseFieldInteger("-99999999999999999999"), -2147483647 - 1);
}

TEST(FieldTextTest, NumbersIgnoreTheLocaleAndTrailingText) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // a comma locale, where it exists
    EXPECT_DOUBLE_EQ(parseFieldNumber("37.5"), 37.5);
    EXPECT_DOUBLE_EQ(parseFieldNumber("37.5abc"), 37.5);
    EXPECT_DOUBLE_EQ(parseFieldNumber(" -4"), -4.0);
    EXPECT_DOUBLE_EQ(parseFieldNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(parseFieldNumber("3"), 3.0); // half-typed 37.5
    EXPECT_DOUBLE_EQ(parseFieldNumber("1e1"), 10.0);
    EXPECT_DOUBLE_EQ(parseFieldNumber("2e"), 2.0);
    EXPECT_EQ(parseFieldNumber(""), 0.0);
    EXPECT_EQ(parseFieldNumber("abc"), 0.0);
    EXPECT_EQ(parseFieldNumber("-"), 0.0);
    std::setlocale(LC_NUMERIC, "C");
}

TEST(FieldTextTest, TemperaturesAreStoredInCelsiusAndCappedInTheShownUnit) {
    TemperatureFieldValue value = readTemperatureField("50", false);
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_EQ(value.rewrittenText, std::optional<QString>("45.0"));

    value = readTemperatureField("120", true);
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_EQ(value.rewrittenText, std::optional<QString>("113.0"));

    value = readTemperatureField("98.6", true);
    EXPECT_EQ(value.storedCelsius, (98.6 - 32) / 1.8);
    EXPECT_FALSE(value.rewrittenText);

    value = readTemperatureField("45.0", false); // exactly the ceiling: kept as typed
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_FALSE(value.rewrittenText);

    value = readTemperatureField("-60", false);
    EXPECT_EQ(value.storedCelsius, -60.0);

    EXPECT_EQ(temperatureFieldText(36.9, true), "98.4");
    EXPECT_EQ(temperatureFieldText(37.5, true), "99.5");
    EXPECT_EQ(temperatureFieldText(32.0, false), "32.0");
}

} // namespace
} // namespace calidra
