#include "pipeline/intake_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace calidra {
namespace {

struct Taken {
    std::vector<uint8_t> detection;
    std::vector<uint16_t> codes;
    CodeRange range;
};

template <typename Kernel>
Taken take(Kernel kernel, PixelFormat format, const unsigned char* pixels, std::size_t count,
           uint16_t ceilingCode) {
    Taken taken;
    taken.detection.assign(count, 0xA5);
    taken.codes.assign(count, 0xA5A5);
    kernel(format, pixels, count, taken.detection.data(), taken.codes.data(), ceilingCode, taken.range);
    return taken;
}

using Kernel = void (*)(PixelFormat, const unsigned char*, std::size_t, uint8_t*, uint16_t*, uint16_t,
                        CodeRange&);

// The one the intake chooses and each it chooses from that this processor can run.
std::vector<Kernel> vectorKernels() {
    std::vector<Kernel> kernels = {takePixelsVectorised, takePixelsBaselineVectors};
    if (wideVectorsAvailable())
        kernels.push_back(takePixelsWideVectors);
    return kernels;
}

// Random frames of every format, length (partial blocks too) and alignment, with codes spread
// over the whole scale, around the offset scale's zero byte and around the ceiling.
TEST(IntakeKernelsTest, VectorisedGivesThePlainBytesCodesAndRange) {
    std::mt19937 random(20240611);
    const std::vector<std::size_t> counts = {0, 1, 7, 15, 16, 17, 31, 33, 384 * 3 + 5, 4099};
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16, PixelFormat::RgbCode32}) {
        for (int trial = 0; trial < 40; ++trial) {
            const std::size_t count = counts[std::size_t(trial) % counts.size()];
            const std::size_t offset = std::size_t(trial) % 3;
            const uint16_t centre = trial % 4 == 0 ? 900 : trial % 4 == 1 ? 1450 : uint16_t(random());
            const int spread = trial % 2 == 0 ? 300 : 65536;
            const uint16_t ceilingCode = trial % 5 == 0   ? 0xFFFF
                                         : trial % 5 == 1 ? 0
                                                          : uint16_t(900 + trial * 37);
            std::vector<unsigned char> bytes(offset + count * bytesPerPixel(format));
            for (std::size_t index = offset; index < bytes.size(); index += 2) {
                const uint16_t code = uint16_t(centre + int(random() % uint32_t(spread)) - spread / 2);
                bytes[index] = uint8_t(code);
                if (index + 1 < bytes.size())
                    bytes[index + 1] = uint8_t(code >> 8);
            }
            const unsigned char* pixels = bytes.data() + offset;
            const Taken plain = take(takePixelsPlainly, format, pixels, count, ceilingCode);
            for (const auto kernel : vectorKernels()) {
                const Taken vectorised = take(kernel, format, pixels, count, ceilingCode);
                ASSERT_EQ(vectorised.codes, plain.codes) << trial;
                ASSERT_EQ(vectorised.detection, plain.detection) << trial;
                EXPECT_EQ(vectorised.range.lowest, plain.range.lowest) << trial;
                EXPECT_EQ(vectorised.range.highest, plain.range.highest) << trial;
            }
        }
    }
}

// Every code once, in blocks: the quotient trick of the offset scale against the definition.
TEST(IntakeKernelsTest, EveryCodeGivesThePlainDetectionByte) {
    std::vector<unsigned char> bytes;
    for (uint32_t code = 0; code < 65536; ++code) {
        bytes.push_back(uint8_t(code));
        bytes.push_back(uint8_t(code >> 8));
    }
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16}) {
        const Taken plain = take(takePixelsPlainly, format, bytes.data(), 65536, 1000);
        for (const auto kernel : vectorKernels()) {
            const Taken vectorised = take(kernel, format, bytes.data(), 65536, 1000);
            ASSERT_EQ(vectorised.detection, plain.detection);
            EXPECT_EQ(vectorised.range.lowest, 0);
            EXPECT_EQ(vectorised.range.highest, 999);
        }
    }
}

} // namespace
} // namespace calidra
