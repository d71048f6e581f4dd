#include "scene.h"

#include "reference_source.h"

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

// The background temperature of one pixel: ambient plus uniform noise from a hash.
float noisyAmbient(float ambient, float amplitude, uint32_t random) {
    return ambient + amplitude * (float(random) / 2147483647.5f - 1.0f);
}

// Cuts a rectangle to the frame and hands what is left to fill(left, top, right, bottom).
template <typename Fill>
void fillRectangle(int width, int height, int left, int top, int right, int bottom, Fill fill) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left >= right || top >= bottom) {
        return; // wholly outside the frame
    }
    fill(left, top, right, bottom);
}

// Fills whole rows of a frame of values.
template <typename Value>
void fillRows(std::vector<Value>& values, int width, int left, int top, int right, int bottom, Value value) {
    for (int y = top; y < bottom; ++y) {
        std::fill(values.begin() + std::ptrdiff_t(y) * width + left,
                  values.begin() + std::ptrdiff_t(y) * width + right, value);
    }
}

// Value is a temperature (float) or its code; toValue turns a temperature into one, and
// fill(left, top, right, bottom, value) paints a rectangle inside the frame.
template <typename ToValue, typename Fill>
void drawPerson(const Person& person, double fractionX, double fractionY, int width, int height,
                const CameraReading& reading, double ambientCelsius, ToValue toValue, Fill fill) {
    const double centreX = fractionX * width;
    const double centreY = fractionY * height;
    const double figureHeight = person.heightFraction * height;
    const int faceSide = std::max(9, int(std::lround(figureHeight * 0.10)));
    const double headWidth = std::max(figureHeight * 0.18, faceSide + 4.0);
    const double headHeight = std::max(figureHeight * 0.22, faceSide + 6.0);
    const double top = centreY - figureHeight / 2.0;
    const double bodyWidth = figureHeight * 0.34;

    const double faceCelsius = reading.reported(person.temperatureCelsius, ambientCelsius);
    const auto skin = toValue(float(faceCelsius - 1.0 * reading.gainFactor));
    const auto body = toValue(float(faceCelsius - 3.0 * reading.gainFactor));
    const auto face = toValue(float(faceCelsius));
    const auto paint = [&](int left, int top, int right, int bottom, auto value) {
        fillRectangle(width, height, left, top, right, bottom,
                      [&](int l, int t, int r, int b) { fill(l, t, r, b, value); });
    };

    // Body (clothing) from below the head to the feet.
    paint(int(std::lround(centreX - bodyWidth / 2)), int(std::lround(top + headHeight * 0.9)),
          int(std::lround(centreX + bodyWidth / 2)), int(std::lround(top + figureHeight)), body);
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
        paint(int(std::lround(centreX - halfSpan)), y, int(std::lround(centreX + halfSpan)), y + 1, skin);
    }
    // The warmest part of the face, at exactly the person's temperature.
    const int faceLeft = int(std::lround(centreX)) - faceSide / 2;
    const int faceTop = int(std::lround(headCentreY)) - faceSide / 2;
    paint(faceLeft, faceTop, faceLeft + faceSide, faceTop + faceSide, face);
}

} // namespace

uint16_t offsetCode(double celsius) {
    const long code = std::lround(celsius * 10.0) + 1000;
    return uint16_t(std::clamp(code, 0L, 65535L));
}

namespace {

// Warm objects, the reference and people, painted with fill(left, top, right, bottom, value) over the
// background; a person later in the list in front of one before.
template <typename ToValue, typename Fill>
void drawFigures(const CameraScenario& camera, const CameraReading& reading, double timeSeconds,
                 ToValue toValue, Fill fill) {
    const int width = camera.width, height = camera.height;
    const double ambient = camera.ambientCelsius;
    for (const WarmObject& warm : camera.objects) {
        const auto value = toValue(float(reading.reported(warm.temperatureCelsius, ambient)));
        fillRectangle(width, height, warm.x, warm.y, warm.x + warm.width, warm.y + warm.height,
                      [&](int l, int t, int r, int b) { fill(l, t, r, b, value); });
    }
    if (camera.reference) {
        const ReferenceSource& source = *camera.reference;
        const auto value =
            toValue(float(reading.reported(referenceTemperatureAt(camera, timeSeconds), ambient)));
        fillRectangle(width, height, source.x, source.y, source.x + source.width, source.y + source.height,
                      [&](int l, int t, int r, int b) { fill(l, t, r, b, value); });
    }
    double timeline = timeSeconds;
    if (camera.loopSeconds > 0.0) {
        timeline = std::fmod(timeSeconds, camera.loopSeconds);
    }
    for (const Person& person : camera.people) {
        double x = 0.0, y = 0.0;
        if (personPosition(person, timeline, x, y)) {
            drawPerson(person, x, y, width, height, reading, ambient, toValue, fill);
        }
    }
}

float noiseAmplitude(const CameraScenario& camera) {
    return float(camera.noiseCelsius * std::sqrt(3.0)); // uniform noise of that standard deviation
}

uint32_t frameSeed(const CameraScenario& camera, uint64_t frameIndex) {
    return mix(camera.seed * 0x9E3779B9U ^ uint32_t(frameIndex * 0x85EBCA6BULL));
}

CameraReading offsetReading(double offsetCelsius) {
    CameraReading reading;
    reading.offsetCelsius = offsetCelsius;
    return reading;
}

} // namespace

bool personPosition(const Person& person, double timeline, double& x, double& y) {
    if (timeline < person.enterSeconds || timeline >= person.leaveSeconds) {
        return false;
    }
    if (person.path.empty()) {
        const double progress =
            (timeline - person.enterSeconds) / (person.leaveSeconds - person.enterSeconds);
        x = person.fromX + (person.toX - person.fromX) * progress;
        y = person.fromY + (person.toY - person.fromY) * progress;
        return true;
    }
    // At the first point until its time, along straight lines, then at the last point.
    const double since = timeline - person.enterSeconds;
    const auto& path = person.path;
    std::size_t next = 0;
    while (next < path.size() && path[next].seconds <= since) {
        ++next;
    }
    if (next == 0 || next == path.size()) {
        const PathPoint& at = next == 0 ? path.front() : path.back();
        x = at.x;
        y = at.y;
        return true;
    }
    const PathPoint& from = path[next - 1];
    const PathPoint& to = path[next];
    const double progress = (since - from.seconds) / (to.seconds - from.seconds);
    x = from.x + (to.x - from.x) * progress;
    y = from.y + (to.y - from.y) * progress;
    return true;
}

void drawScene(const CameraScenario& camera, double offsetCelsius, double timeSeconds, uint64_t frameIndex,
               std::vector<float>& temperatures) {
    drawScene(camera, offsetReading(offsetCelsius), timeSeconds, frameIndex, temperatures);
}

void drawScene(const CameraScenario& camera, const CameraReading& reading, double timeSeconds,
               uint64_t frameIndex, std::vector<float>& temperatures) {
    temperatures.resize(std::size_t(camera.width) * std::size_t(camera.height));
    const float ambient = float(reading.reported(camera.ambientCelsius, camera.ambientCelsius));
    if (camera.noiseCelsius > 0.0) {
        const float amplitude = noiseAmplitude(camera);
        const uint32_t seed = frameSeed(camera, frameIndex);
        for (std::size_t i = 0; i < temperatures.size(); ++i) {
            temperatures[i] = noisyAmbient(ambient, amplitude, mix(seed ^ uint32_t(i)));
        }
    } else {
        std::fill(temperatures.begin(), temperatures.end(), ambient);
    }
    drawFigures(
        camera, reading, timeSeconds, [](float celsius) { return celsius; },
        [&](int left, int top, int right, int bottom, float celsius) {
            fillRows(temperatures, camera.width, left, top, right, bottom, celsius);
        });
}

void SceneCodeDrawer::prepareBackground(const CameraScenario& camera, float ambient) {
    const std::size_t pixelCount = std::size_t(camera.width) * std::size_t(camera.height);
    const bool noisy = camera.noiseCelsius > 0.0;
    if (layout_.background && layout_.background->size() == pixelCount &&
        (noisy ? ambient == backgroundAmbient_ : offsetCode(ambient) == backgroundCode_)) {
        return; // a flat background changes only with its code
    }
    backgroundAmbient_ = ambient;
    backgroundCode_ = offsetCode(ambient);
    // A new field: pictures of earlier frames may still be made from the old one.
    auto background = std::make_shared<std::vector<uint16_t>>(pixelCount);
    if (camera.noiseCelsius <= 0.0) {
        std::fill(background->begin(), background->end(), offsetCode(ambient));
    } else {
        const float amplitude = noiseAmplitude(camera);
        const uint32_t seed = frameSeed(camera, 0);
        for (std::size_t i = 0; i < pixelCount; ++i) {
            (*background)[i] = offsetCode(noisyAmbient(ambient, amplitude, mix(seed ^ uint32_t(i))));
        }
    }
    layout_.background = std::move(background);
}

void SceneCodeDrawer::draw(const CameraScenario& camera, double offsetCelsius, double timeSeconds,
                           uint64_t frameIndex, std::vector<uint16_t>& codes) {
    draw(camera, offsetReading(offsetCelsius), timeSeconds, frameIndex, codes);
}

void SceneCodeDrawer::draw(const CameraScenario& camera, const CameraReading& reading, double timeSeconds,
                           uint64_t frameIndex, std::vector<uint16_t>& codes) {
    // A noisy background follows the drift in steps of a hundredth of a degree, a tenth of a code:
    // it is made again every few seconds of drift rather than every frame.
    double level = camera.ambientCelsius + reading.offsetCelsius;
    level +=
        camera.noiseCelsius > 0.0 ? std::round(reading.driftCelsius * 100.0) / 100.0 : reading.driftCelsius;
    prepareBackground(camera, float(level));
    const std::vector<uint16_t>& background = *layout_.background;
    codes.resize(background.size());
    const std::size_t turn = background.empty() ? 0 : frameSeed(camera, frameIndex + 1) % background.size();
    layout_.turn = turn;
    const auto middle = std::copy(background.begin() + std::ptrdiff_t(turn), background.end(), codes.begin());
    std::copy(background.begin(), background.begin() + std::ptrdiff_t(turn), middle);
    layout_.fills.clear();
    drawFigures(
        camera, reading, timeSeconds, [](float celsius) { return offsetCode(celsius); },
        [&](int left, int top, int right, int bottom, uint16_t code) {
            fillRows(codes, camera.width, left, top, right, bottom, code);
            layout_.fills.push_back({left, top, right, bottom, code});
        });
}

} // namespace calidra::simulator
