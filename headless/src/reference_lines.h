#pragma once
// The headless station's REFERENCE lines: SEARCHING, LOCKED with the correction in force (at the
// lock, back from holding, and whenever it moved by 0.1 °C or more since the last LOCKED line),
// HOLDING, LOST with the
// reason's word. Nothing while the mode is not Reference.

#include "station/reference_supervisor.h"

#include <QString>

#include <optional>

namespace calidra {

class ReferenceLines {
public:
    // The line this status calls for, if any.
    std::optional<QString> lineFor(const ReferenceStatus& status);

private:
    ReferenceState lastState_ = ReferenceState::Off;
    ReferenceLoss lastLoss_ = ReferenceLoss::None;
    double printedCorrection_ = 0.0;
};

} // namespace calidra
