#include "frame_layouts.h"

#include <cmath>

namespace calidra::uvc::testing {

namespace {

void putCounts(std::vector<uint8_t>& bytes, std::size_t pixel, long counts) {
    bytes[2 * pixel] = uint8_t(counts & 0xFF);
    bytes[2 * pixel + 1] = uint8_t((counts >> 8) & 0xFF);
}

} // namespace

void Scene::fill(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, double value) {
    for (uint32_t y = top; y < bottom; ++y) {
        for (uint32_t x = left; x < right; ++x) {
            at(x, y) = value;
        }
    }
}

std::vector<uint8_t> infiRayDualFrame(const Scene& scene, uint8_t pictureByte) {
    const std::size_t pixels = scene.celsius.size();
    std::vector<uint8_t> bytes(pixels * 4, pictureByte);
    for (std::size_t i = 0; i < pixels; ++i) {
        putCounts(bytes, pixels + i, std::lround((scene.celsius[i] + 273.15) * 64.0));
    }
    return bytes;
}

std::vector<uint8_t> leptonFrame(const Scene& scene) {
    std::vector<uint8_t> bytes(scene.celsius.size() * 2);
    for (std::size_t i = 0; i < scene.celsius.size(); ++i) {
        putCounts(bytes, i, std::lround((scene.celsius[i] + 273.15) * 100.0));
    }
    return bytes;
}

std::vector<uint8_t> leptonRawFrame(uint32_t width, uint32_t height, uint16_t rawLevel) {
    std::vector<uint8_t> bytes(std::size_t(width) * height * 2);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
        putCounts(bytes, i, rawLevel + long(i % 97)); // a little scene structure
    }
    return bytes;
}

} // namespace calidra::uvc::testing
