// The intake's vector loop at 256 bits. Only this file is compiled for AVX2 (on x86-64); the
// intrinsics get a namespace of their own so that none of their inline functions can stand in
// for the baseline ones elsewhere in the program.
#if defined(__AVX2__)
#define CV_CPU_OPTIMIZATION_HAL_NAMESPACE hal_AVX2
#define CV_CPU_OPTIMIZATION_HAL_NAMESPACE_BEGIN namespace hal_AVX2 {
#define CV_CPU_OPTIMIZATION_HAL_NAMESPACE_END }
#include <opencv2/core/simd_intrinsics.hpp>
#endif

#include "pipeline/intake_kernels.h"

#if defined(__AVX2__) && CV_SIMD256 && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

#include "intake_blocks.h"

namespace calidra {

bool wideVectorsAvailable() {
    return __builtin_cpu_supports("avx2");
}

void takePixelsWideVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                           uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    takePixelsAnyFormat(format, pixels, count, detection, codes, ceilingCode, range);
}

} // namespace calidra

#else

namespace calidra {

bool wideVectorsAvailable() {
    return false;
}

void takePixelsWideVectors(PixelFormat format, const unsigned char* pixels, std::size_t count,
                           uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    takePixelsBaselineVectors(format, pixels, count, detection, codes, ceilingCode, range);
}

} // namespace calidra

#endif
