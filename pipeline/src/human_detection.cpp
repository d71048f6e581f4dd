#include "pipeline/human_detection.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace calidra {
namespace {

constexpr double maximumAspect = 8.0;
constexpr double minimumAspect = 0.125;

// Whole byte values in the band form one run, so a range test stands in for a per-value table
// and runs over many pixels at once. Empty when no byte value is in the band.
std::optional<ByteRun> bandBytes(const DetectionBand& band) {
    int first = -1;
    int last = -1;
    for (int value = 0; value < 256; ++value) {
        if (double(value) >= band.low && double(value) < band.high) {
            if (first < 0)
                first = value;
            last = value;
        }
    }
    if (first < 0)
        return std::nullopt;
    return ByteRun{static_cast<uint8_t>(first), static_cast<uint8_t>(last - first)};
}

constexpr int closingReach = MaskCloser::size / 2;
static_assert(closingReach == 5, "the spreading doubles 1, 2, then 2 wide");

// The closing works on one long bit string of all rows, each row padded with at least five clear
// bits so that spreading along it never carries a bit into the next row.

// The bit loops get the processor's widest vectors, picked at load time.
// Not under the thread sanitizer: its hooks in the load-time chooser run before it is set up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define CALIDRA_BIT_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define CALIDRA_BIT_LOOP
#endif

// out[k] = in[k] with every set bit also spread to the distance bits below it.
CALIDRA_BIT_LOOP void spreadDown(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count,
                                 int distance) {
    for (std::size_t index = 0; index + 1 < count; ++index)
        out[index] = in[index] | (in[index] >> distance) | (in[index + 1] << (64 - distance));
    out[count - 1] = in[count - 1] | (in[count - 1] >> distance);
}

CALIDRA_BIT_LOOP void spreadUp(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count,
                               int distance) {
    out[0] = in[0] | (in[0] << distance);
    for (std::size_t index = 1; index < count; ++index)
        out[index] = in[index] | (in[index] << distance) | (in[index - 1] >> (64 - distance));
}

// The same across rows: offset is a whole number of rows in words; nothing comes from outside.
CALIDRA_BIT_LOOP void spreadAcross(const uint64_t* __restrict in, uint64_t* __restrict out, std::size_t count,
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

// Sixty-four mask bytes of 0 or 255 per word, byte j to bit j; the row's last word is padded.
void packRow(const uint8_t* source, int width, uint64_t* words) {
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

CALIDRA_BIT_LOOP void unite(const uint64_t* __restrict other, uint64_t* __restrict bits, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index)
        bits[index] |= other[index];
}

CALIDRA_BIT_LOOP void complement(uint64_t* bits, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index)
        bits[index] = ~bits[index];
}

// The bytes lowest <= byte <= lowest + span of one row as bits, byte j to bit j, the row's words
// after its last column clear. The plain test of each byte is the definition, used for the tail.
void cutAndPackRow(const uint8_t* source, int width, ByteRun run, uint64_t* words, std::size_t wordCount) {
    const auto plainBit = [run](uint8_t byte) { return uint64_t(uint8_t(byte - run.lowest) <= run.span); };
    int column = 0;
#if CV_SIMD128
    const cv::v_uint8x16 lowest = cv::v_setall_u8(run.lowest);
    const cv::v_uint8x16 span = cv::v_setall_u8(run.span);
    const auto sixteen = [&](int start) {
        const cv::v_uint8x16 bytes = cv::v_load(source + start);
        return uint64_t(uint32_t(cv::v_signmask(cv::v_sub_wrap(bytes, lowest) <= span)));
    };
    for (; column + 64 <= width; column += 64)
        words[column / 64] = sixteen(column) | sixteen(column + 16) << 16 | sixteen(column + 32) << 32 |
                             sixteen(column + 48) << 48;
    uint64_t last = 0;
    for (; column + 16 <= width; column += 16)
        last |= sixteen(column) << (column % 64);
#else
    for (; column + 64 <= width; column += 64) {
        uint64_t word = 0;
        for (int bit = 0; bit < 64; ++bit)
            word |= plainBit(source[column + bit]) << bit;
        words[column / 64] = word;
    }
    uint64_t last = 0;
#endif
    for (; column < width; ++column)
        last |= plainBit(source[column]) << (column % 64);
    std::size_t next = std::size_t(width) / 64;
    if (width % 64 != 0)
        words[next++] = last;
    std::fill(words + next, words + wordCount, uint64_t(0));
}

// Clears bits [first, end) of a row.
void clearBits(uint64_t* words, int first, int end) {
    for (int column = first; column < end;) {
        const int bit = column % 64;
        const int length = std::min(64 - bit, end - column);
        const uint64_t span = length == 64 ? ~uint64_t(0) : ((uint64_t(1) << length) - 1) << bit;
        words[column / 64] &= ~span;
        column += length;
    }
}

} // namespace

void MaskCloser::clearPadding(uint64_t* words, std::size_t count) const {
    // Only the row's last words hold padding; the whole ones before stay as they are.
    for (std::size_t start = 0; start < count; start += wordsPerRow_)
        for (std::size_t index = firstPaddedWord_; index < wordsPerRow_; ++index)
            words[start + index] &= rowMask_[index];
}

void MaskCloser::spreadSquare(uint64_t* in, std::size_t count) {
    // Every bit becomes the union of the 11 x 11 square centred on it: along the rows the union
    // of the 6 bits from it onwards and the 6 up to it, each by doubling; then the same across rows.
    const std::size_t row = rowMask_.size();
    uint64_t* first = first_.data();
    uint64_t* second = second_.data();
    uint64_t* out = third_.data();
    spreadDown(in, first, count, 1);
    spreadDown(first, second, count, 2);
    spreadDown(second, out, count, 2);
    spreadUp(in, first, count, 1);
    spreadUp(first, second, count, 2);
    spreadUp(second, first, count, 2);
    unite(first, out, count);
    clearPadding(out, count);

    spreadAcross(out, first, count, row, true);
    spreadAcross(first, second, count, 2 * row, true);
    spreadAcross(second, first, count, 2 * row, true);
    spreadAcross(out, second, count, row, false);
    spreadAcross(second, out, count, 2 * row, false);
    spreadAcross(out, second, count, 2 * row, false);
    std::copy_n(first, count, in);
    unite(second, in, count);
}

void MaskCloser::prepare(int width, int rows, bool clear) {
    wordsPerRow_ = std::size_t(width + closingReach + 63) / 64;
    rowMask_.assign(wordsPerRow_, 0);
    for (int column = 0; column < width; ++column)
        rowMask_[std::size_t(column) / 64] |= 1ull << (column % 64);
    firstPaddedWord_ = std::size_t(width) / 64;
    const std::size_t total = wordsPerRow_ * std::size_t(rows);
    if (clear)
        bits_.assign(total, 0);
    else
        bits_.resize(total);
    first_.resize(total);
    second_.resize(total);
    third_.resize(total);
}

void MaskCloser::close(const cv::Mat& mask, cv::Mat& closed) {
    CV_Assert(mask.type() == CV_8UC1);
    closed.create(mask.size(), CV_8UC1);
    extent_ = cv::Rect();
    if (mask.empty())
        return;
    prepare(mask.cols, mask.rows, true);
    for (int row = 0; row < mask.rows; ++row)
        packRow(mask.ptr<uint8_t>(row), mask.cols, bits_.data() + std::size_t(row) * wordsPerRow_);
    closePacked(closed);
}

void MaskCloser::closeBand(const cv::Mat& detectionImage, std::optional<ByteRun> band,
                           const std::vector<cv::Rect>& blanked, cv::Mat& closed) {
    CV_Assert(detectionImage.type() == CV_8UC1);
    closed.create(detectionImage.size(), CV_8UC1);
    extent_ = cv::Rect();
    if (detectionImage.empty())
        return;
    if (!band) {
        closed.setTo(0);
        return;
    }
    const int width = detectionImage.cols;
    // Every word of every row is written below.
    prepare(width, detectionImage.rows, false);
    for (int row = 0; row < detectionImage.rows; ++row) {
        uint64_t* words = bits_.data() + std::size_t(row) * wordsPerRow_;
        cutAndPackRow(detectionImage.ptr<uint8_t>(row), width, *band, words, wordsPerRow_);
        for (const cv::Rect& rectangle : blanked)
            if (row >= rectangle.y && row < rectangle.y + rectangle.height)
                clearBits(words, std::max(rectangle.x, 0), std::min(rectangle.x + rectangle.width, width));
    }
    closePacked(closed);
}

void MaskCloser::closePacked(cv::Mat& closed) {
    const int width = closed.cols;
    const int rows = closed.rows;
    const auto rowWords = [this](int row) { return bits_.data() + std::size_t(row) * wordsPerRow_; };
    const auto anySet = [this](const uint64_t* words) {
        return std::any_of(words, words + wordsPerRow_, [](uint64_t word) { return word != 0; });
    };
    int firstSet = 0;
    while (firstSet < rows && !anySet(rowWords(firstSet)))
        ++firstSet;
    if (firstSet == rows) {
        closed.setTo(0);
        return;
    }
    int lastSet = rows - 1;
    while (!anySet(rowWords(lastSet)))
        --lastSet;

    // Only the rows near set ones are worked on, as if the rest were outside the image. The
    // dilation is exact there (the rest is clear); the erosion is exact on every row within
    // closingReach of a set row, as its square stays inside the worked rows or leaves the image;
    // the rows beyond are clear in the dilation and so in the closing, which the erosion keeps.
    const int windowFirst = std::max(0, firstSet - 2 * closingReach);
    const int windowEnd = std::min(rows, lastSet + 1 + 2 * closingReach);
    uint64_t* window = rowWords(windowFirst);
    const std::size_t count = std::size_t(windowEnd - windowFirst) * wordsPerRow_;

    // Dilation is the union over the square; erosion the intersection, which is the complement
    // of the union of the complement. Outside the image stays clear in both, so it never counts.
    spreadSquare(window, count);
    complement(window, count);
    clearPadding(window, count);
    spreadSquare(window, count);

    int extentTop = rows;
    int extentBottom = -1;
    std::vector<uint64_t>& columnsSet = first_;
    std::fill_n(columnsSet.begin(), wordsPerRow_, 0);
    for (int row = 0; row < rows; ++row) {
        uint8_t* target = closed.ptr<uint8_t>(row);
        if (row < windowFirst || row >= windowEnd) {
            std::fill_n(target, width, uint8_t(0));
            continue;
        }
        const uint64_t* words = rowWords(row);
        uint64_t anyInRow = 0;
        for (std::size_t index = 0; index < wordsPerRow_; ++index) {
            const uint64_t set = ~words[index] & rowMask_[index];
            columnsSet[index] |= set;
            anyInRow |= set;
        }
        if (anyInRow != 0) {
            extentTop = std::min(extentTop, row);
            extentBottom = row;
        }
        int column = 0;
        // Whole words of one kind (most of the picture) are filled without unpacking.
        for (; column + 64 <= width; column += 64) {
            const uint64_t word = words[column / 64];
            if (word == ~uint64_t(0) || word == 0) {
                std::memset(target + column, word == 0 ? 255 : 0, 64);
                continue;
            }
            for (int part = 0; part < 64; part += 16)
                unpackSixteen(~uint32_t(word >> part) & 0xFFFFu, target + column + part);
        }
        for (; column + 16 <= width; column += 16)
            unpackSixteen(~uint32_t(words[column / 64] >> (column % 64)) & 0xFFFFu, target + column);
        for (; column < width; ++column)
            target[column] = (words[column / 64] >> (column % 64)) & 1u ? 0 : 255;
    }
    if (extentBottom < 0)
        return;
    int extentLeft = width;
    int extentRight = -1;
    for (std::size_t index = 0; index < wordsPerRow_; ++index) {
        if (columnsSet[index] == 0)
            continue;
        extentLeft = std::min(extentLeft, int(index) * 64 + __builtin_ctzll(columnsSet[index]));
        extentRight = int(index) * 64 + 63 - __builtin_clzll(columnsSet[index]);
    }
    extent_ = cv::Rect(extentLeft, extentTop, extentRight - extentLeft + 1, extentBottom - extentTop + 1);
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
    blanked_.clear();
    for (const MaskInfo& record : masks)
        if (maskfile::recordApplies(record, buffers.detectionImage.cols, buffers.detectionImage.rows))
            blanked_.emplace_back(record.nX, record.nY, record.nWidth, record.nHeight);
    closer_.closeBand(buffers.detectionImage, bandBytes(detectionBand(format, settings.detectionCelsius)),
                      blanked_, closedMask_);

    // Everything outside the set pixels' bounding box is clear, so the contour finder, which
    // scans in rows and pads with clear pixels itself, finds the same contours in that box alone.
    // Only the ends of straight runs are kept: the simplification below splits at the first point
    // farthest from a point or a line, and no point inside a straight run is farther than both of
    // its ends, so the polygon is the one every outline pixel gives, from a fraction of the points.
    contours_.clear();
    const cv::Rect extent = closer_.extent();
    if (!extent.empty())
        cv::findContours(closedMask_(extent), contours_, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE,
                         extent.tl());

    results.trackingTemperature = 0.0;
    results.detections.clear();
    results.frameAlarm = false;
    results.regionPassTick = tick ? tick() : 0;
    results.alarmThresholdCelsius = settings.alarmCelsius;
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
        const bool alarm = celsius > results.alarmThresholdCelsius;
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
