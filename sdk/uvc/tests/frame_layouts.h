#pragma once
// Frames as the cameras send them, built from their documented layouts out of
// a scene of known temperatures.

#include <cstdint>
#include <vector>

namespace calidra::uvc::testing {

// Temperatures in degrees Celsius, row-major, top row first.
struct Scene {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<double> celsius;

    Scene(uint32_t sceneWidth, uint32_t sceneHeight, double background)
        : width(sceneWidth), height(sceneHeight), celsius(std::size_t(sceneWidth) * sceneHeight, background) {
    }
    double& at(uint32_t x, uint32_t y) { return celsius[std::size_t(y) * width + x]; }
    void fill(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, double value);
};

// InfiRay P2 family: YUYV width x (2 x height); the upper half the camera's
// picture (every byte pictureByte here), the lower half counts = (T + 273.15) x 64.
std::vector<uint8_t> infiRayDualFrame(const Scene& scene, uint8_t pictureByte);

// Lepton on PureThermal, Y16 with TLinear at 0.01 K: counts = (T + 273.15) x 100.
std::vector<uint8_t> leptonFrame(const Scene& scene);

// Lepton with TLinear off: 14-bit raw counts around rawLevel.
std::vector<uint8_t> leptonRawFrame(uint32_t width, uint32_t height, uint16_t rawLevel);

} // namespace calidra::uvc::testing
