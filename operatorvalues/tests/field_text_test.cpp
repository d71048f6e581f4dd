#include "operatorvalues/field_text.h"

#include "pipeline/frame_settings.h"

#include <gtest/gtest.h>

#include <clocale>

namespace calidra {
namespace {

struct TypedNumber {
    const char* text;
    int integer;
    double number;
};

// One reading of a typed number for the pane, the store and the frame thread.
class TypedNumberTest : public ::testing::TestWithParam<TypedNumber> {};

TEST_P(TypedNumberTest, IsReadFromTheStartWhateverTheLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // a comma locale, where it exists
    const TypedNumber& typed = GetParam();
    EXPECT_EQ(parseFieldInteger(typed.text), typed.integer);
    EXPECT_EQ(parseLeadingInteger(typed.text), typed.integer);
    EXPECT_DOUBLE_EQ(parseFieldNumber(typed.text), typed.number);
    EXPECT_DOUBLE_EQ(parseLeadingDouble(typed.text), typed.number);
    std::setlocale(LC_NUMERIC, "C");
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedNumberTest,
                         ::testing::Values(TypedNumber{"120", 120, 120.0}, TypedNumber{"  7 sec", 7, 7.0},
                                           TypedNumber{"-3x", -3, -3.0}, TypedNumber{"", 0, 0.0},
                                           TypedNumber{"sec", 0, 0.0}, TypedNumber{"-", 0, 0.0},
                                           TypedNumber{"2.9", 2, 2.9}, TypedNumber{"37.5abc", 37, 37.5},
                                           TypedNumber{" -4", -4, -4.0}, TypedNumber{"+2.5", 2, 2.5},
                                           TypedNumber{".5", 0, 0.5}, TypedNumber{"3", 3, 3.0}, // half-typed
                                           TypedNumber{"1e1", 1, 10.0}, TypedNumber{"2e", 2, 2.0},
                                           TypedNumber{"1e400", 1, 0.0},
                                           TypedNumber{"99999999999999999999", 2147483647, 1e20},
                                           TypedNumber{"-99999999999999999999", -2147483647 - 1, -1e20}));

TEST(FieldTextTest, TemperaturesAreStoredInCelsiusAndCappedInTheShownUnit) {
    const TemperatureUnit celsius = TemperatureUnit::Celsius;
    const TemperatureUnit fahrenheit = TemperatureUnit::Fahrenheit;
    TemperatureFieldValue value = readTemperatureField("50", celsius);
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_EQ(value.rewrittenText, std::optional<QString>("45.0"));

    value = readTemperatureField("120", fahrenheit);
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_EQ(value.rewrittenText, std::optional<QString>("113.0"));

    value = readTemperatureField("98.6", fahrenheit);
    EXPECT_EQ(value.storedCelsius, (98.6 - 32) / 1.8);
    EXPECT_FALSE(value.rewrittenText);

    value = readTemperatureField("45.0", celsius); // exactly the ceiling: kept as typed
    EXPECT_EQ(value.storedCelsius, 45.0);
    EXPECT_FALSE(value.rewrittenText);

    value = readTemperatureField("-60", celsius);
    EXPECT_EQ(value.storedCelsius, -60.0);

    EXPECT_EQ(temperatureFieldText(36.9, fahrenheit), "98.4");
    EXPECT_EQ(temperatureFieldText(37.5, fahrenheit), "99.5");
    EXPECT_EQ(temperatureFieldText(32.0, celsius), "32.0");
}

} // namespace
} // namespace calidra
