#include "arriving_size.h"

#include <cmath>
#include <numeric>
#include <optional>
#include <utility>

namespace calidra {
namespace {

constexpr std::size_t bytesPerPixel = 3;
// A few bytes that happen to fit a shape are no picture.
constexpr std::size_t smallestSide = 16;

// Sizes of thermal cameras and of video, landscape; tried when the expected shape does not fit.
constexpr std::pair<int, int> commonSizes[] = {
    {80, 60},    {160, 120},  {160, 128},  {206, 156},   {256, 192},   {320, 240},   {320, 256},
    {336, 256},  {382, 288},  {384, 288},  {640, 360},   {640, 480},   {640, 512},   {800, 600},
    {1024, 768}, {1280, 720}, {1280, 960}, {1280, 1024}, {1920, 1080}, {1920, 1200},
};

std::optional<std::pair<int, int>> pictureSizeOf(std::size_t messageBytes, int expectedWidth,
                                                 int expectedHeight) {
    if (messageBytes == 0 || messageBytes % bytesPerPixel != 0)
        return std::nullopt;
    const std::size_t pixels = messageBytes / bytesPerPixel;
    // The expected shape at another scale: a camera of the same family at another resolution.
    if (expectedWidth > 0 && expectedHeight > 0) {
        const int divisor = std::gcd(expectedWidth, expectedHeight);
        const std::size_t across = std::size_t(expectedWidth / divisor);
        const std::size_t down = std::size_t(expectedHeight / divisor);
        if (pixels % (across * down) == 0) {
            const std::size_t squared = pixels / (across * down);
            const auto scale = std::size_t(std::llround(std::sqrt(double(squared))));
            if (scale * scale == squared && down * scale >= smallestSide)
                return std::make_pair(int(across * scale), int(down * scale));
        }
    }
    for (const auto& [width, height] : commonSizes) {
        if (std::size_t(width) * std::size_t(height) == pixels)
            return std::make_pair(width, height);
    }
    return std::nullopt;
}

std::string sizeText(int width, int height) {
    return std::to_string(width) + " × " + std::to_string(height);
}

} // namespace

std::string arrivingSizeText(std::size_t messageBytes, int expectedWidth, int expectedHeight) {
    const std::string expected = sizeText(expectedWidth, expectedHeight) + " expected";
    if (const auto size = pictureSizeOf(messageBytes, expectedWidth, expectedHeight))
        return "frames of " + sizeText(size->first, size->second) + " arrive; " + expected;
    const std::size_t expectedBytes = std::size_t(expectedWidth > 0 ? expectedWidth : 0) *
                                      std::size_t(expectedHeight > 0 ? expectedHeight : 0) * bytesPerPixel;
    return "frames of " + std::to_string(messageBytes) + " bytes arrive; " + expected + " (" +
           std::to_string(expectedBytes) + " bytes)";
}

} // namespace calidra
