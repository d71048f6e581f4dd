#pragma once
// The GenICam description the thermal test camera serves: Aravis's fake
// camera's own, with the thermal features added in registers it leaves free.

#include <cstdint>
#include <string>

namespace calidra::thermalcamera {

// Registers of the added features (big-endian, like the fake camera's own).
constexpr uint32_t kIrFormatRegister = 0xa000;
constexpr uint32_t kNucActionRegister = 0xa004;

// IRFormat entries: counts are kelvin x 100 or kelvin x 10.
constexpr uint32_t kIrFormatLinear10mK = 1;
constexpr uint32_t kIrFormatLinear100mK = 2;

// The fake camera's description with IRFormat and NUCAction added; empty
// when it does not have the shape they are added to.
std::string thermalDescription(const std::string& fakeCameraDescription);

} // namespace calidra::thermalcamera
