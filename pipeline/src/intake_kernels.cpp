#include "pipeline/intake_kernels.h"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstring>

#if CV_SIMD128 && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define CALIDRA_BASELINE_VECTORS 1
#include "intake_blocks.h"
#endif

namespace calidra {

void takePixelsPlainly(PixelFormat format, const unsigned char* pixels, std::size_t count, uint8_t* detection,
                       uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    const std::size_t stride = bytesPerPixel(format);
    for (std::size_t index = 0; index < count; ++index) {
        const uint16_t code = pixelCode(pixels + index * stride, format);
        codes[index] = code;
        detection[index] = detectionByte(code, format);
        if (code < ceilingCode) {
            range.lowest = std::min(range.lowest, code);
            range.highest = std::max(range.highest, code);
        }
    }
}

#ifdef CALIDRA_BASELINE_VECTORS

void takePixelsBaselineVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                               uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    takePixelsAnyFormat(format, pixels, count, detection, codes, ceilingCode, range);
}

#else

void takePixelsBaselineVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                               uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    takePixelsPlainly(format, pixels, count, detection, codes, ceilingCode, range);
}

#endif

void takePixelsVectorised(PixelFormat format, const unsigned char* pixels, std::size_t count,
                          uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    // Asked once: the processor does not change while the program runs.
    static const bool wide = wideVectorsAvailable();
    if (wide)
        takePixelsWideVectors(format, pixels, count, detection, codes, ceilingCode, range);
    else
        takePixelsBaselineVectors(format, pixels, count, detection, codes, ceilingCode, range);
}

} // namespace calidra
