#pragma once
// Where the reference source is and what the operator set for it, as the frame thread reads them.

#include "pipeline/reference_tracker.h"

#include <cstdint>

namespace calidra {

// The rectangle of Zonara/reference.cfg in camera picture pixels, or why there is none.
struct ReferenceRegion {
    ReferenceLoss problem = ReferenceLoss::FileMissing; // None: the rectangle is usable
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool insideFrame(int frameWidth, int frameHeight) const {
        return width > 0 && height > 0 && x >= 0 && y >= 0 && int64_t(x) + width <= frameWidth &&
               int64_t(y) + height <= frameHeight;
    }
};

struct ReferenceSettings {
    bool correcting = false; // temperature mode Reference
    double setCelsius = 35.0;
    uint32_t holdMs = 10000;
    ReferenceRegion region;
};

// What the station is told: on every change of state or reason, and of the correction in force.
struct ReferenceReport {
    ReferenceState state = ReferenceState::Off;
    ReferenceLoss loss = ReferenceLoss::None;
    double correctionCelsius = 0.0; // in force in the camera
    double jumpDropCelsius = 0.0;   // with ReferenceLoss::Jumped

    bool operator==(const ReferenceReport& other) const {
        return state == other.state && loss == other.loss && correctionCelsius == other.correctionCelsius;
    }
    bool operator!=(const ReferenceReport& other) const { return !(*this == other); }
};

} // namespace calidra
