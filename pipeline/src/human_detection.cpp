#include "pipeline/human_detection.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace calidra {
namespace {

constexpr double maximumAspect = 8.0;
constexpr double minimumAspect = 0.125;

void blankMaskRegions(cv::Mat& mask, const maskfile::MaskRecords& masks) {
    for (const MaskInfo& record : masks) {
        if (!maskfile::recordApplies(record, mask.cols, mask.rows))
            continue;
        mask(cv::Rect(record.nX, record.nY, record.nWidth, record.nHeight)).setTo(0);
    }
}

// Whole byte values in the band form one run, so a range test stands in for a per-value table
// and runs over many pixels at once.
void cutBand(const cv::Mat& detectionImage, const DetectionBand& band, cv::Mat& mask) {
    int first = -1;
    int last = -1;
    for (int value = 0; value < 256; ++value) {
        if (double(value) >= band.low && double(value) < band.high) {
            if (first < 0)
                first = value;
            last = value;
        }
    }
    mask.create(detectionImage.size(), CV_8UC1);
    if (first < 0) {
        mask.setTo(0);
        return;
    }
    const auto lowest = static_cast<uint8_t>(first);
    const auto span = static_cast<uint8_t>(last - first);
    const int width = detectionImage.cols;
    for (int row = 0; row < detectionImage.rows; ++row) {
        const uint8_t* __restrict source = detectionImage.ptr<uint8_t>(row);
        uint8_t* __restrict target = mask.ptr<uint8_t>(row);
        for (int column = 0; column < width; ++column)
            target[column] = static_cast<uint8_t>(source[column] - lowest) <= span ? 255 : 0;
    }
}

constexpr int closingReach = MaskCloser::size / 2;
static_assert(closingReach == 5, "the spreading doubles 1, 2, then 2 wide");

// The closing works on one long bit string of all rows, each row padded with at least five clear
// bits so that spreading along it never carries a bit into the next row.

// out[k] = in[k] with every set bit also spread to the distance bits below it.
void spreadDown(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count, int distance) {
    for (std::size_t index = 0; index + 1 < count; ++index)
        out[index] = in[index] | (in[index] >> distance) | (in[index + 1] << (64 - distance));
    out[count - 1] = in[count - 1] | (in[count - 1] >> distance);
}

void spreadUp(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count, int distance) {
    out[0] = in[0] | (in[0] << distance);
    for (std::size_t index = 1; index < count; ++index)
        out[index] = in[index] | (in[index] << distance) | (in[index - 1] >> (64 - distance));
}

// The same across rows: offset is a whole number of rows in words; nothing comes from outside.
void spreadAcross(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count,
                  std::size_t offset, bool downward) {
    if (offset >= count) {
        std::copy_n(in, count, out);
        return;
    }
    if (downward) {
        for (std::size_t index = 0; index + offset < count; ++index)
            out[index] = in[index] | in[index + offset];
        std::copy_n(in + count - offset, offset, out + count - offset);
    } else {
        std::copy_n(in, offset, out);
        for (std::size_t index = offset; index < count; ++index)
            out[index] = in[index] | in[index - offset];
    }
}

// Sixteen mask bytes of 0 or 255 to sixteen bits, byte j to bit j.
inline uint32_t packSixteen(const uint8_t* bytes) {
#if defined(__SSE2__)
    return uint32_t(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))));
#else
    uint64_t low;
    uint64_t high;
    std::memcpy(&low, bytes, sizeof low);
    std::memcpy(&high, bytes + 8, sizeof high);
    const auto eight = [](uint64_t value) {
        return uint32_t(((value & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56);
    };
    return eight(low) | (eight(high) << 8);
#endif
}

// Sixteen bits to sixteen bytes of 0 or 255, bit j to byte j.
inline void unpackSixteen(uint32_t bits, uint8_t* bytes) {
#if defined(__SSE2__)
    __m128i spread = _mm_cvtsi32_si128(int(bits));
    spread = _mm_unpacklo_epi8(spread, spread);
    spread = _mm_unpacklo_epi16(spread, spread);
    spread = _mm_unpacklo_epi32(spread, spread);
    const __m128i weights = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    const __m128i set = _mm_cmpeq_epi8(_mm_and_si128(spread, weights), weights);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), set);
#else
    for (int bit = 0; bit < 16; ++bit)
        bytes[bit] = (bits >> bit) & 1u ? 255 : 0;
#endif
}

} // namespace

void MaskCloser::clearPadding(std::vector<uint64_t>& words) const {
    for (std::size_t start = 0; start < words.size(); start += rowMask_.size())
        for (std::size_t index = 0; index < rowMask_.size(); ++index)
            words[start + index] &= rowMask_[index];
}

void MaskCloser::spreadSquare(std::vector<uint64_t>& bits) {
    // Every bit becomes the union of the 11 x 11 square centred on it: along the rows the union
    // of the 6 bits from it onwards and the 6 up to it, each by doubling; then the same across rows.
    const std::size_t count = bits.size();
    const std::size_t row = rowMask_.size();
    uint64_t* in = bits.data();
    uint64_t* first = first_.data();
    uint64_t* second = second_.data();
    uint64_t* out = third_.data();
    spreadDown(in, first, count, 1);
    spreadDown(first, second, count, 2);
    spreadDown(second, out, count, 2);
    spreadUp(in, first, count, 1);
    spreadUp(first, second, count, 2);
    spreadUp(second, first, count, 2);
    for (std::size_t index = 0; index < count; ++index)
        out[index] |= first[index];
    clearPadding(third_);

    spreadAcross(out, first, count, row, true);
    spreadAcross(first, second, count, 2 * row, true);
    spreadAcross(second, first, count, 2 * row, true);
    spreadAcross(out, second, count, row, false);
    spreadAcross(second, out, count, 2 * row, false);
    spreadAcross(out, second, count, 2 * row, false);
    for (std::size_t index = 0; index < count; ++index)
        in[index] = first[index] | second[index];
}

void MaskCloser::close(const cv::Mat& mask, cv::Mat& closed) {
    CV_Assert(mask.type() == CV_8UC1);
    closed.create(mask.size(), CV_8UC1);
    if (mask.empty())
        return;
    const int width = mask.cols;
    const int rows = mask.rows;
    const std::size_t wordsPerRow = std::size_t(width + closingReach + 63) / 64;
    rowMask_.assign(wordsPerRow, 0);
    for (int column = 0; column < width; ++column)
        rowMask_[std::size_t(column) / 64] |= 1ull << (column % 64);
    const std::size_t total = wordsPerRow * std::size_t(rows);
    bits_.assign(total, 0);
    first_.resize(total);
    second_.resize(total);
    third_.resize(total);

    for (int row = 0; row < rows; ++row) {
        const uint8_t* source = mask.ptr<uint8_t>(row);
        uint64_t* words = bits_.data() + std::size_t(row) * wordsPerRow;
        int column = 0;
        for (; column + 64 <= width; column += 64)
            words[column / 64] = uint64_t(packSixteen(source + column)) |
                                 uint64_t(packSixteen(source + column + 16)) << 16 |
                                 uint64_t(packSixteen(source + column + 32)) << 32 |
                                 uint64_t(packSixteen(source + column + 48)) << 48;
        uint64_t last = 0;
        for (; column + 16 <= width; column += 16)
            last |= uint64_t(packSixteen(source + column)) << (column % 64);
        for (; column < width; ++column)
            last |= uint64_t(source[column] >> 7) << (column % 64);
        if (width % 64 != 0)
            words[width / 64] = last;
    }

    // Dilation is the union over the square; erosion the intersection, which is the complement
    // of the union of the complement. Outside the image stays clear in both, so it never counts.
    spreadSquare(bits_);
    for (uint64_t& word : bits_)
        word = ~word;
    clearPadding(bits_);
    spreadSquare(bits_);

    for (int row = 0; row < rows; ++row) {
        uint8_t* target = closed.ptr<uint8_t>(row);
        const uint64_t* words = bits_.data() + std::size_t(row) * wordsPerRow;
        int column = 0;
        for (; column + 16 <= width; column += 16)
            unpackSixteen(~uint32_t(words[column / 64] >> (column % 64)) & 0xFFFFu, target + column);
        for (; column < width; ++column)
            target[column] = (words[column / 64] >> (column % 64)) & 1u ? 0 : 255;
    }
}

DetectionBand detectionBand(std::optional<PixelFormat> format, double detectionCelsius) {
    DetectionBand band;
    if (format == PixelFormat::Direct16) {
        band.low = detectionCelsius * 2.5;
        band.high = 125.0; // 50 degrees
    } else {
        band.low = (detectionCelsius + 10) * 1.6;
        band.high = 88.0; // 45 degrees
    }
    if (band.low == 256.0)
        band.low = 255.0;
    return band;
}

void HumanDetector::detectAndMeasure(const FrameBuffers& buffers, std::optional<PixelFormat> format,
                                     const FrameSettings& settings, const maskfile::MaskRecords& masks,
                                     const TickSource& tick, DetectionResults& results) {
    const DetectionBand band = detectionBand(format, settings.detectionCelsius);
    cutBand(buffers.detectionImage, band, bandMask_);

    blankMaskRegions(bandMask_, masks);

    closer_.close(bandMask_, closedMask_);

    contours_.clear();
    if (!closedMask_.empty())
        cv::findContours(closedMask_, contours_, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);

    results.trackingTemperature = 0.0;
    results.detections.clear();
    results.frameAlarm = false;
    results.regionPassTick = tick ? tick() : 0;
    const PixelFormat scale = format.value_or(PixelFormat::Offset16);
    // A stored minimum larger than the picture would hide everybody for good.
    const int64_t minimumArea =
        std::min<int64_t>(settings.minimumRegionArea, int64_t(closedMask_.cols) * closedMask_.rows);

    for (const auto& contour : contours_) {
        cv::approxPolyDP(contour, polygon_, 1.0, true);
        const cv::Rect rectangle = cv::boundingRect(polygon_);
        const double aspect = double(rectangle.height) / double(rectangle.width);
        if (aspect > maximumAspect || aspect < minimumAspect ||
            int64_t(rectangle.width) * rectangle.height < minimumArea)
            continue;

        // Only the accepted rectangles are smoothed; the values match a whole-plane pass.
        const int maximumCode = smoother_.maximum(buffers.codePlane, rectangle);
        const double celsius =
            std::min(codeToCelsius(static_cast<uint16_t>(maximumCode), scale), temperatureCeilingCelsius);
        const bool alarm = celsius > settings.alarmCelsius;
        if (alarm)
            results.frameAlarm = true;
        // The read-out follows the warmest person in view, the one an alarm is about.
        if (celsius > settings.detectionCelsius && celsius > results.trackingTemperature)
            results.trackingTemperature = celsius;
        results.detections.push_back(Detection{rectangle.x, rectangle.y, rectangle.x + rectangle.width,
                                               rectangle.y + rectangle.height, celsius, alarm});
    }
    results.personPresent = !results.detections.empty();
}

} // namespace calidra
