#include "reference_lines.h"

#include <cmath>

namespace calidra {

std::optional<QString> ReferenceLines::lineFor(const ReferenceStatus& status) {
    const bool newState = status.state != lastState_ || status.loss != lastLoss_;
    lastState_ = status.state;
    lastLoss_ = status.loss;
    switch (status.state) {
    case ReferenceState::Off:
        return std::nullopt;
    case ReferenceState::Searching:
        return newState ? std::optional<QString>(QStringLiteral("REFERENCE\tSEARCHING")) : std::nullopt;
    case ReferenceState::Holding:
        return newState ? std::optional<QString>(QStringLiteral("REFERENCE\tHOLDING")) : std::nullopt;
    case ReferenceState::Lost:
        return newState ? std::optional<QString>(QStringLiteral("REFERENCE\tLOST\t") +
                                                 QLatin1String(referenceLossWord(status.loss)))
                        : std::nullopt;
    case ReferenceState::Locked:
        break;
    }
    const bool moved = std::abs(status.correctionCelsius - printedCorrection_) >= 0.1 - 1e-9;
    if (newState || moved) {
        printedCorrection_ = status.correctionCelsius;
        return QStringLiteral("REFERENCE\tLOCKED\t") + QString::asprintf("%+.2f", status.correctionCelsius);
    }
    return std::nullopt;
}

} // namespace calidra
