#pragma once
// The headless station's BASELINE lines in alarm mode Baseline: LEARNING with k/N at each person
// learned, then the baseline and the threshold in force ("%.1f" °C) once learned and whenever
// either moved by 0.1 °C or more since the last such line. Nothing in mode Fixed.

#include "pipeline/alarm_baseline.h"

#include <QString>

#include <optional>

namespace calidra {

class BaselineLines {
public:
    // The line this status calls for, if any.
    std::optional<QString> lineFor(const BaselineStatus& status);

private:
    std::optional<BaselineStatus> printed_;
};

} // namespace calidra
