#include "thermal_conversion.h"

namespace calidra::sorvik {

namespace {

// Rounds half up and clamps: after the clamp the value is never negative, so
// truncation is the floor. Written with plain comparisons, which become the
// vector minimum and maximum.
inline uint16_t toCode(uint16_t count, CountScale scale) {
    float value = float(count) * scale.codesPerCount + scale.codeAtZeroCount;
    value = value > 0.0f ? value : 0.0f;
    value = value < 65535.0f ? value : 65535.0f;
    return uint16_t(int32_t(value));
}

} // namespace

// One build for every x86-64 processor, with the wider vectors picked at load
// time where the processor has them (twice as fast again with AVX2).
#if defined(__x86_64__) && defined(__GNUC__)
#define CALIDRA_PIXEL_LOOP __attribute__((target_clones("avx2", "sse4.1", "default")))
#else
#define CALIDRA_PIXEL_LOOP
#endif

CountScale countScale(double kelvinPerCount, double offsetCelsius, int zeroCelsiusCode) {
    CountScale scale;
    scale.codesPerCount = float(kelvinPerCount * 10.0);
    // The half for rounding is folded in here, out of the pixel loop.
    scale.codeAtZeroCount = float((offsetCelsius - 273.15) * 10.0 + zeroCelsiusCode + 0.5);
    return scale;
}

CALIDRA_PIXEL_LOOP void countsToCodes(const uint16_t* counts, std::size_t pixelCount, CountScale scale,
                                      uint16_t* codes) {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        codes[i] = toCode(counts[i], scale);
    }
}

CALIDRA_PIXEL_LOOP void countsToWideCodes(const uint16_t* counts, std::size_t pixelCount, CountScale scale,
                                          uint32_t* pixels) {
    // Little-endian words: the code is the upper half of each 32-bit pixel.
    for (std::size_t i = 0; i < pixelCount; ++i) {
        pixels[i] = uint32_t(toCode(counts[i], scale)) << 16;
    }
}

} // namespace calidra::sorvik
