#pragma once
// Draws the synthetic thermal scene of one camera: temperatures in degrees
// Celsius per pixel, row 0 at the top.

#include "scenario.h"

#include <cstdint>
#include <vector>

namespace calidra::simulator {

// The temperature scene at timeSeconds since the library started; frameIndex
// varies the background noise from frame to frame, deterministically.
// offsetCelsius is the camera's current compensation, added to every temperature.
void drawScene(const CameraScenario& camera, double offsetCelsius, double timeSeconds, uint64_t frameIndex,
               std::vector<float>& temperatures);

// Offset-scale code of a temperature: code = 10 x degrees + 1000.
uint16_t offsetCode(double celsius);

} // namespace calidra::simulator
