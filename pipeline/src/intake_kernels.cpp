#include "pipeline/intake_kernels.h"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstring>

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

#if CV_SIMD128 && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

namespace {

using cv::v_int16x8;
using cv::v_uint16x8;

template <PixelFormat Format> inline v_uint16x8 loadCodes(const unsigned char* pixel) {
    if constexpr (Format == PixelFormat::RgbCode32) {
        // The code is each 32-bit pixel's high half; shifted down with its sign it packs exactly.
        const auto* words = reinterpret_cast<const int*>(pixel);
        const cv::v_int32x4 first = cv::v_shr<16>(cv::v_load(words));
        const cv::v_int32x4 second = cv::v_shr<16>(cv::v_load(words + 4));
        return cv::v_reinterpret_as_u16(cv::v_pack(first, second));
    } else {
        return cv::v_load(reinterpret_cast<const ushort*>(pixel));
    }
}

// Unsigned order as signed order, for which every instruction set has packed minimum and maximum.
inline v_int16x8 orderKey(const v_uint16x8& code) {
    return cv::v_reinterpret_as_s16(code ^ cv::v_setall_u16(0x8000));
}

// trunc((code - 900) * 4 / 25) as in detectionByte, on 16-bit lanes: the quotient of |code - 900|
// from a multiply-high by ceil(2^16 * 4 / 25), which is at most one too large (by 0.24 at the
// largest distance), put right by the sign of the remainder, then given the sign back.
inline v_uint16x8 offsetScaleBytes(const v_uint16x8& code, const v_int16x8& key) {
    const v_uint16x8 zeroByteCode = cv::v_setall_u16(900);
    // Saturating: one of the two is zero.
    const v_uint16x8 distance = (code - zeroByteCode) | (zeroByteCode - code);
    v_uint16x8 quotient = cv::v_mul_hi(distance, cv::v_setall_u16(10486));
    const v_int16x8 remainder = cv::v_reinterpret_as_s16(
        cv::v_sub_wrap(cv::v_shl<2>(distance), cv::v_mul_wrap(quotient, cv::v_setall_u16(25))));
    quotient = cv::v_add_wrap(quotient, cv::v_reinterpret_as_u16(cv::v_shr<15>(remainder)));
    const v_uint16x8 negative = cv::v_reinterpret_as_u16(key < orderKey(zeroByteCode));
    quotient = cv::v_sub_wrap(quotient ^ negative, negative);
    return quotient & cv::v_setall_u16(0xFF);
}

template <PixelFormat Format> inline v_uint16x8 detectionBytes(const v_uint16x8& code, const v_int16x8& key) {
    if constexpr (Format == PixelFormat::Direct16)
        return cv::v_shr<2>(code) & cv::v_setall_u16(0xFF);
    else
        return offsetScaleBytes(code, key);
}

template <PixelFormat Format>
void takePixelsInBlocks(const unsigned char* pixels, std::size_t count, uint8_t* detection, uint16_t* codes,
                        uint16_t ceilingCode, CodeRange& range) {
    constexpr std::size_t block = 16;
    constexpr std::size_t stride = Format == PixelFormat::RgbCode32 ? 4 : 2;
    const v_int16x8 ceilingKey = orderKey(cv::v_setall_u16(ceilingCode));
    // The lowest of all codes is the lowest counted one whenever it is below the ceiling; the
    // highest counted one needs the others masked to zero.
    v_int16x8 lowestKey = cv::v_setall_s16(INT16_MAX);
    v_int16x8 highestKey = cv::v_setall_s16(INT16_MIN);
    std::size_t index = 0;
    for (; index + block <= count; index += block) {
        const v_uint16x8 first = loadCodes<Format>(pixels + index * stride);
        const v_uint16x8 second = loadCodes<Format>(pixels + (index + 8) * stride);
        cv::v_store(codes + index, first);
        cv::v_store(codes + index + 8, second);
        const v_int16x8 firstKey = orderKey(first);
        const v_int16x8 secondKey = orderKey(second);
        cv::v_store(detection + index, cv::v_pack(detectionBytes<Format>(first, firstKey),
                                                  detectionBytes<Format>(second, secondKey)));
        lowestKey = cv::v_min(lowestKey, cv::v_min(firstKey, secondKey));
        const v_uint16x8 firstCounted = first & cv::v_reinterpret_as_u16(firstKey < ceilingKey);
        const v_uint16x8 secondCounted = second & cv::v_reinterpret_as_u16(secondKey < ceilingKey);
        highestKey = cv::v_max(highestKey, cv::v_max(orderKey(firstCounted), orderKey(secondCounted)));
    }
    const auto lowest = uint16_t(cv::v_reduce_min(lowestKey) ^ 0x8000);
    if (lowest < ceilingCode) {
        range.lowest = std::min(range.lowest, lowest);
        range.highest = std::max(range.highest, uint16_t(cv::v_reduce_max(highestKey) ^ 0x8000));
    }
    takePixelsPlainly(Format, pixels + index * stride, count - index, detection + index, codes + index,
                      ceilingCode, range);
}

} // namespace

void takePixelsVectorised(PixelFormat format, const unsigned char* pixels, std::size_t count,
                          uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    switch (format) {
    case PixelFormat::Offset16:
        takePixelsInBlocks<PixelFormat::Offset16>(pixels, count, detection, codes, ceilingCode, range);
        break;
    case PixelFormat::Direct16:
        takePixelsInBlocks<PixelFormat::Direct16>(pixels, count, detection, codes, ceilingCode, range);
        break;
    case PixelFormat::RgbCode32:
        takePixelsInBlocks<PixelFormat::RgbCode32>(pixels, count, detection, codes, ceilingCode, range);
        break;
    }
}

#else

void takePixelsVectorised(PixelFormat format, const unsigned char* pixels, std::size_t count,
                          uint8_t* detection, uint16_t* codes, uint16_t ceilingCode, CodeRange& range) {
    takePixelsPlainly(format, pixels, count, detection, codes, ceilingCode, range);
}

#endif

} // namespace calidra
