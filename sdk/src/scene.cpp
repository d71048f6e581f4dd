#include "scene.h"

#include <algorithm>
#include <cmath>

namespace calidra::simulator {

namespace {

// A small integer hash: the same seed, frame and pixel give the same noise.
uint32_t mix(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    value ^= value >> 16;
    return value;
}

void fillRectangle(std::vector<float>& temperatures, int width, int height, int left, int top, int right,
                   int bottom, float celsius) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left >= right || top >= bottom) {
        return; // wholly outside the frame
    }
    for (int y = top; y < bottom; ++y) {
        std::fill(temperatures.begin() + std::ptrdiff_t(y) * width + left,
                  temperatures.begin() + std::ptrdiff_t(y) * width + right, celsius);
    }
}

void drawPerson(const Person& person, double progress, int width, int height, double offsetCelsius,
                std::vector<float>& temperatures) {
    const double centreX = (person.fromX + (person.toX - person.fromX) * progress) * width;
    const double centreY = (person.fromY + (person.toY - person.fromY) * progress) * height;
    const double figureHeight = person.heightFraction * height;
    const int faceSide = std::max(9, int(std::lround(figureHeight * 0.10)));
    const double headWidth = std::max(figureHeight * 0.18, faceSide + 4.0);
    const double headHeight = std::max(figureHeight * 0.22, faceSide + 6.0);
    const double top = centreY - figureHeight / 2.0;
    const double bodyWidth = figureHeight * 0.34;

    const float skin = float(person.temperatureCelsius + offsetCelsius - 1.0);
    const float body = float(person.temperatureCelsius + offsetCelsius - 3.0);
    const float face = float(person.temperatureCelsius + offsetCelsius);

    // Body (clothing) from below the head to the feet.
    fillRectangle(temperatures, width, height, int(std::lround(centreX - bodyWidth / 2)),
                  int(std::lround(top + headHeight * 0.9)), int(std::lround(centreX + bodyWidth / 2)),
                  int(std::lround(top + figureHeight)), body);
    // Head: an ellipse of skin.
    const double headCentreY = top + headHeight / 2.0;
    const double radiusX = headWidth / 2.0, radiusY = headHeight / 2.0;
    for (int y = int(std::floor(top)); y <= int(std::ceil(top + headHeight)); ++y) {
        if (y < 0 || y >= height) {
            continue;
        }
        const double dy = (y + 0.5 - headCentreY) / radiusY;
        if (dy * dy > 1.0) {
            continue;
        }
        const double halfSpan = radiusX * std::sqrt(1.0 - dy * dy);
        fillRectangle(temperatures, width, height, int(std::lround(centreX - halfSpan)), y,
                      int(std::lround(centreX + halfSpan)), y + 1, skin);
    }
    // The warmest part of the face, at exactly the person's temperature.
    const int faceLeft = int(std::lround(centreX)) - faceSide / 2;
    const int faceTop = int(std::lround(headCentreY)) - faceSide / 2;
    fillRectangle(temperatures, width, height, faceLeft, faceTop, faceLeft + faceSide, faceTop + faceSide,
                  face);
}

} // namespace

uint16_t offsetCode(double celsius) {
    const long code = std::lround(celsius * 10.0) + 1000;
    return uint16_t(std::clamp(code, 0L, 65535L));
}

void drawScene(const CameraScenario& camera, double offsetCelsius, double timeSeconds, uint64_t frameIndex,
               std::vector<float>& temperatures) {
    const int width = camera.width, height = camera.height;
    temperatures.resize(std::size_t(width) * std::size_t(height));
    const float ambient = float(camera.ambientCelsius + offsetCelsius);
    if (camera.noiseCelsius > 0.0) {
        // Uniform noise with the given standard deviation.
        const float amplitude = float(camera.noiseCelsius * std::sqrt(3.0));
        const uint32_t frameSeed = mix(camera.seed * 0x9E3779B9U ^ uint32_t(frameIndex * 0x85EBCA6BULL));
        for (std::size_t i = 0; i < temperatures.size(); ++i) {
            const uint32_t random = mix(frameSeed ^ uint32_t(i));
            temperatures[i] = ambient + amplitude * (float(random) / 2147483647.5f - 1.0f);
        }
    } else {
        std::fill(temperatures.begin(), temperatures.end(), ambient);
    }
    for (const WarmObject& warm : camera.objects) {
        fillRectangle(temperatures, width, height, warm.x, warm.y, warm.x + warm.width, warm.y + warm.height,
                      float(warm.temperatureCelsius + offsetCelsius));
    }
    double timeline = timeSeconds;
    if (camera.loopSeconds > 0.0) {
        timeline = std::fmod(timeSeconds, camera.loopSeconds);
    }
    for (const Person& person : camera.people) {
        if (timeline < person.enterSeconds || timeline >= person.leaveSeconds) {
            continue;
        }
        const double progress =
            (timeline - person.enterSeconds) / (person.leaveSeconds - person.enterSeconds);
        drawPerson(person, progress, width, height, offsetCelsius, temperatures);
    }
}

} // namespace calidra::simulator
