#pragma once
// Radiometric counts of a thermal camera (kelvin per count) into the contract's
// temperature codes, in one pass that the compiler vectorises.

#include <cstddef>
#include <cstdint>

namespace calidra::sorvik {

// code = round((count x kelvinPerCount - 273.15 + offsetCelsius) x 10) + zeroCelsiusCode,
// clamped to 0..65535; zeroCelsiusCode is 1000 on the offset scale, 0 on the direct one.
struct CountScale {
    float codesPerCount = 0.0f;
    float codeAtZeroCount = 0.0f; // includes the half for rounding
};

CountScale countScale(double kelvinPerCount, double offsetCelsius, int zeroCelsiusCode);

// Formats 103 and 104: one 16-bit code per pixel.
void countsToCodes(const uint16_t* counts, std::size_t pixelCount, CountScale scale, uint16_t* codes);

// Format 110: two 16-bit words per pixel, the first zero, the second the code.
void countsToWideCodes(const uint16_t* counts, std::size_t pixelCount, CountScale scale, uint32_t* pixels);

} // namespace calidra::sorvik
