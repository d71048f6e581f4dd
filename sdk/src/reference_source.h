#pragma once
// The true temperature of a camera's reference source over time: it settles towards its set point
// while on and towards the ambient while off, each time with its time constant.

#include "scenario.h"

namespace calidra::simulator {

// At seconds since the start; the source is on and settled at its set point at the start.
double referenceTemperatureAt(const CameraScenario& camera, double seconds);

} // namespace calidra::simulator
