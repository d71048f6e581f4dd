#pragma once
// The intake's vector loop, written for OpenCV's universal intrinsics of the widest kind the
// including file is compiled for (128 bits in the baseline build, 256 with AVX2). The includer
// brings in the intrinsics first; everything here is local to it.

#include "pipeline/intake_kernels.h"

#include <algorithm>

namespace calidra {
namespace {

using Codes = cv::v_uint16;
using Keys = cv::v_int16;

template <PixelFormat Format> inline Codes loadCodes(const unsigned char* pixel) {
    if constexpr (Format == PixelFormat::RgbCode32) {
        // The code is each 32-bit pixel's high half; shifted down with its sign it packs exactly.
        const auto* words = reinterpret_cast<const int*>(pixel);
        const cv::v_int32 first = cv::v_shr<16>(cv::vx_load(words));
        const cv::v_int32 second = cv::v_shr<16>(cv::vx_load(words + cv::v_int32::nlanes));
        return cv::v_reinterpret_as_u16(cv::v_pack(first, second));
    } else {
        return cv::vx_load(reinterpret_cast<const ushort*>(pixel));
    }
}

// Unsigned order as signed order, for which every instruction set has packed minimum and maximum.
inline Keys orderKey(const Codes& code) {
    return cv::v_reinterpret_as_s16(code ^ cv::vx_setall_u16(0x8000));
}

// trunc((code - 900) * 4 / 25) as in detectionByte, on 16-bit lanes: the quotient of |code - 900|
// from a multiply-high by ceil(2^16 * 4 / 25), which is at most one too large (by 0.24 at the
// largest distance), put right by the sign of the remainder, then given the sign back.
inline Codes offsetScaleBytes(const Codes& code, const Keys& key) {
    const Codes zeroByteCode = cv::vx_setall_u16(900);
    // Saturating: one of the two is zero.
    const Codes distance = (code - zeroByteCode) | (zeroByteCode - code);
    Codes quotient = cv::v_mul_hi(distance, cv::vx_setall_u16(10486));
    const Keys remainder = cv::v_reinterpret_as_s16(
        cv::v_sub_wrap(cv::v_shl<2>(distance), cv::v_mul_wrap(quotient, cv::vx_setall_u16(25))));
    quotient = cv::v_add_wrap(quotient, cv::v_reinterpret_as_u16(cv::v_shr<15>(remainder)));
    const Codes negative = cv::v_reinterpret_as_u16(key < orderKey(zeroByteCode));
    quotient = cv::v_sub_wrap(quotient ^ negative, negative);
    return quotient & cv::vx_setall_u16(0xFF);
}

template <PixelFormat Format> inline Codes detectionBytes(const Codes& code, const Keys& key) {
    if constexpr (Format == PixelFormat::Direct16)
        return cv::v_shr<2>(code) & cv::vx_setall_u16(0xFF);
    else
        return offsetScaleBytes(code, key);
}

template <PixelFormat Format>
void takePixelsInBlocks(const unsigned char* pixels, std::size_t count, uint8_t* detection, uint16_t* codes,
                        uint16_t ceilingCode, CodeRange& range) {
    constexpr std::size_t half = Codes::nlanes;
    constexpr std::size_t block = 2 * half;
    constexpr std::size_t stride = Format == PixelFormat::RgbCode32 ? 4 : 2;
    const Keys ceilingKey = orderKey(cv::vx_setall_u16(ceilingCode));
    // The lowest of all codes is the lowest counted one whenever it is below the ceiling; the
    // highest counted one needs the others masked to zero.
    Keys lowestKey = cv::vx_setall_s16(INT16_MAX);
    Keys highestKey = cv::vx_setall_s16(INT16_MIN);
    std::size_t index = 0;
    for (; index + block <= count; index += block) {
        const Codes first = loadCodes<Format>(pixels + index * stride);
        const Codes second = loadCodes<Format>(pixels + (index + half) * stride);
        cv::v_store(codes + index, first);
        cv::v_store(codes + index + half, second);
        const Keys firstKey = orderKey(first);
        const Keys secondKey = orderKey(second);
        cv::v_store(detection + index, cv::v_pack(detectionBytes<Format>(first, firstKey),
                                                  detectionBytes<Format>(second, secondKey)));
        lowestKey = cv::v_min(lowestKey, cv::v_min(firstKey, secondKey));
        const Codes firstCounted = first & cv::v_reinterpret_as_u16(firstKey < ceilingKey);
        const Codes secondCounted = second & cv::v_reinterpret_as_u16(secondKey < ceilingKey);
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

void takePixelsAnyFormat(PixelFormat format, const unsigned char* pixels, std::size_t count,
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

} // namespace
} // namespace calidra
