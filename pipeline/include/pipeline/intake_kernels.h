#pragma once
// The per-pixel work of the intake: each pixel's code, its detection byte and the range of the
// codes below the ceiling, in one pass. The plain loop is the definition; the vector one must give
// the same bytes and range for every input.

#include "pipeline/temperature_scale.h"

#include <cstddef>
#include <cstdint>

namespace calidra {

// The lowest and highest code counted; none counted leaves the defaults (a counted code is below
// the ceiling, so never 0xFFFF).
struct CodeRange {
    uint16_t lowest = 0xFFFF;
    uint16_t highest = 0;

    bool anyCounted() const { return lowest != 0xFFFF; }
};

// pixels: count pixels of the format, little-endian, any alignment. Counts the codes below
// ceilingCode into range.
void takePixelsPlainly(PixelFormat format, const unsigned char* pixels, std::size_t count, uint8_t* detection,
                       uint16_t* codes, uint16_t ceilingCode, CodeRange& range);

// The same with OpenCV's universal intrinsics: the widest vectors this processor has (256 bits
// where it has AVX2, else the build's baseline).
void takePixelsVectorised(PixelFormat format, const unsigned char* pixels, std::size_t count,
                          uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range);

// The two vector forms it chooses from; the wide one only where wideVectorsAvailable() (the
// baseline one is the plain loop where the build has no vectors).
void takePixelsBaselineVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                               uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range);
void takePixelsWideVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                           uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range);
bool wideVectorsAvailable();

} // namespace calidra
