// The counts-to-codes conversion against a naive reference on random counts.
#include "thermal_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using calidra::sorvik::countScale;
using calidra::sorvik::countsToCodes;
using calidra::sorvik::countsToWideCodes;

// The formula as written: in double precision, rounding half away from zero.
double unroundedCode(uint16_t count, double kelvinPerCount, double offsetCelsius, int zeroCelsiusCode) {
    return (count * kelvinPerCount - 273.15 + offsetCelsius) * 10.0 + zeroCelsiusCode;
}

uint16_t referenceCode(double unrounded) {
    return uint16_t(std::clamp(std::lround(unrounded), 0L, 65535L));
}

} // namespace

TEST(ThermalConversion, MatchesTheFormulaOnRandomCountsOnBothScales) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> anyCount(0, 65535);
    std::vector<uint16_t> counts(4099); // not a multiple of any vector width
    for (auto& count : counts) {
        count = uint16_t(anyCount(random));
    }
    // The extremes and the counts around 0 and 45 degrees at 10 mK.
    const uint16_t fixed[] = {0, 1, 65534, 65535, 27315, 31815, 31816};
    std::copy(std::begin(fixed), std::end(fixed), counts.begin());

    struct Case {
        double kelvinPerCount;
        double offsetCelsius;
        int zeroCelsiusCode;
    };
    for (const Case& c : {Case{0.01, 0.0, 1000}, Case{0.01, 0.0, 0}, Case{0.1, -1.7, 1000},
                          Case{0.04, 2.35, 0}, Case{0.01, -300.0, 1000}, Case{1.0, 0.0, 1000}}) {
        SCOPED_TRACE(testing::Message() << c.kelvinPerCount << " K/count, offset " << c.offsetCelsius
                                        << ", zero at " << c.zeroCelsiusCode);
        const auto scale = countScale(c.kelvinPerCount, c.offsetCelsius, c.zeroCelsiusCode);
        std::vector<uint16_t> codes(counts.size());
        std::vector<uint32_t> wide(counts.size());
        countsToCodes(counts.data(), counts.size(), scale, codes.data());
        countsToWideCodes(counts.data(), counts.size(), scale, wide.data());
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const double unrounded =
                unroundedCode(counts[i], c.kelvinPerCount, c.offsetCelsius, c.zeroCelsiusCode);
            const uint16_t expected = referenceCode(unrounded);
            // Single precision may round a value within a hair of a half the other way.
            const double fromHalf = std::abs(unrounded - std::floor(unrounded) - 0.5);
            if (fromHalf > 1e-3) {
                ASSERT_EQ(codes[i], expected) << "count " << counts[i];
            } else {
                ASSERT_LE(std::abs(int(codes[i]) - int(expected)), 1) << "count " << counts[i];
            }
            ASSERT_EQ(wide[i], uint32_t(codes[i]) << 16) << "the first word is zero, the second the code";
        }
    }
}

TEST(ThermalConversion, KelvinTimesHundredGivesTheCodesOfTheContract) {
    // 38.2 degrees: 311.35 K; -10 degrees clamps to 0 on the direct scale.
    const uint16_t counts[] = {31135, 26315, 0, 65535};
    uint16_t offsetCodes[4], directCodes[4];
    countsToCodes(counts, 4, countScale(0.01, 0.0, 1000), offsetCodes);
    countsToCodes(counts, 4, countScale(0.01, 0.0, 0), directCodes);
    EXPECT_EQ(offsetCodes[0], 1382);
    EXPECT_EQ(directCodes[0], 382);
    EXPECT_EQ(offsetCodes[1], 900);
    EXPECT_EQ(directCodes[1], 0);
    EXPECT_EQ(offsetCodes[2], 0);
    EXPECT_EQ(offsetCodes[3], 4822); // 655.35 K = 382.2 degrees
    uint16_t compensated[1];
    countsToCodes(counts, 1, countScale(0.01, 0.5, 1000), compensated);
    EXPECT_EQ(compensated[0], 1387) << "the compensation offset is added before rounding";
}
