#include "baseline_lines.h"

#include <cmath>

namespace calidra {

std::optional<QString> BaselineLines::lineFor(const BaselineStatus& status) {
    if (status.mode != AlarmMode::Baseline) {
        printed_.reset(); // back in mode Baseline, where it stands is printed again
        return std::nullopt;
    }
    const std::optional<BaselineStatus> before = printed_;
    if (!status.baselineCelsius) {
        if (before && !before->baselineCelsius && before->learned == status.learned &&
            before->count == status.count)
            return std::nullopt;
        printed_ = status;
        return QStringLiteral("BASELINE\tLEARNING\t%1/%2").arg(status.learned).arg(status.count);
    }
    const auto moved = [](double from, double to) { return std::abs(to - from) >= 0.1 - 1e-9; };
    if (before && before->baselineCelsius && !moved(*before->baselineCelsius, *status.baselineCelsius) &&
        !moved(before->thresholdCelsius, status.thresholdCelsius))
        return std::nullopt;
    printed_ = status;
    return QStringLiteral("BASELINE\t") +
           QString::asprintf("%.1f\t%.1f", *status.baselineCelsius, status.thresholdCelsius);
}

} // namespace calidra
