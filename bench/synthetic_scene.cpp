#include "synthetic_scene.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace calidra::bench {
namespace {

constexpr double ambientCelsius = 22.0;
constexpr double noiseCelsius = 0.05;

uint16_t codeOf(double celsius, PixelFormat format) {
    const long tenths = std::lround(celsius * 10.0);
    return static_cast<uint16_t>(usesOffsetScale(format) ? tenths + 1000 : tenths);
}

void fillBlock(std::vector<double>& celsius, int width, int left, int top, int w, int h, double value) {
    for (int row = top; row < top + h; ++row)
        std::fill_n(celsius.begin() + std::ptrdiff_t(row) * width + left, w, value);
}

} // namespace

CameraFrame SyntheticFrame::view() const {
    return CameraFrame{uint32_t(width), uint32_t(height), format, pixels.data()};
}

SyntheticFrame makeSyntheticFrame(const SceneSpec& spec) {
    const int width = spec.width;
    const int height = spec.height;
    std::mt19937 random(uint32_t(width * 31 + height * 7 + spec.people));
    std::normal_distribution<double> noise(0.0, noiseCelsius);
    std::vector<double> celsius(std::size_t(width) * std::size_t(height));
    for (double& value : celsius)
        value = ambientCelsius + noise(random);

    if (spec.people > 0) {
        const double slot = double(width) / spec.people;
        const int bodyWidth = int(slot * 0.55);
        const int figureHeight = std::min(height / 2, bodyWidth * 7);
        const int headHeight = figureHeight / 5;
        const int headWidth = bodyWidth * 3 / 5;
        const int top = height / 4;
        const int face = std::max(9, headWidth / 2);
        for (int person = 0; person < spec.people; ++person) {
            const double feverCelsius = 36.2 + 0.3 * (person % 8);
            const int centre = int(slot * (person + 0.5));
            fillBlock(celsius, width, centre - headWidth / 2, top, headWidth, headHeight, feverCelsius - 1.0);
            fillBlock(celsius, width, centre - bodyWidth / 2, top + headHeight, bodyWidth,
                      figureHeight - headHeight, feverCelsius - 3.0);
            fillBlock(celsius, width, centre - face / 2, top + (headHeight - std::min(face, headHeight)) / 2,
                      face, std::min(face, headHeight), feverCelsius);
        }
    }

    SyntheticFrame frame;
    frame.width = width;
    frame.height = height;
    frame.format = spec.format;
    const std::size_t bytes = bytesPerPixel(spec.format);
    frame.pixels.resize(celsius.size() * bytes);
    for (std::size_t index = 0; index < celsius.size(); ++index) {
        const uint16_t code = codeOf(celsius[index], spec.format);
        unsigned char* pixel = frame.pixels.data() + index * bytes;
        if (spec.format == PixelFormat::RgbCode32) {
            pixel[0] = 0x5A; // the first word is not a temperature
            pixel[1] = 0xA5;
            pixel += 2;
        }
        pixel[0] = uint8_t(code & 0xFF);
        pixel[1] = uint8_t(code >> 8);
    }
    frame.cameraPicture.resize(celsius.size() * 3);
    for (std::size_t index = 0; index < frame.cameraPicture.size(); ++index)
        frame.cameraPicture[index] = uint8_t(index * 7);
    return frame;
}

} // namespace calidra::bench
