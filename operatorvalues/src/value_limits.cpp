#include "operatorvalues/value_limits.h"

#include "settings/settings_store.h"

#include "pipeline/temperature_scale.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace calidra {

std::optional<double> wholeNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool valid = false;
    const double value = text.trimmed().toDouble(&valid);
    if (!valid || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> wholeInteger(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (!integer.match(text).hasMatch())
        return std::nullopt;
    bool valid = false;
    const int value = text.trimmed().toInt(&valid);
    if (!valid)
        return std::nullopt; // beyond int: outside every range anyway
    return value;
}

StoredTemperatures limitedTemperatures(double detectionCelsius, double alarmCelsius) {
    using namespace value_limits;
    if (std::isnan(alarmCelsius))
        alarmCelsius = settings::alarmTemperature.defaultValue;
    if (std::isnan(detectionCelsius))
        detectionCelsius = settings::trackingTemperature.defaultValue;
    alarmCelsius = std::clamp(alarmCelsius, minimumAlarmCelsius, temperatureCeilingCelsius);
    detectionCelsius = std::clamp(detectionCelsius, minimumDetectionCelsius, temperatureCeilingCelsius);
    // Lowering the detection temperature keeps every alarm; raising the alarm one would lose some.
    if (detectionCelsius >= alarmCelsius)
        detectionCelsius = std::max(minimumDetectionCelsius,
                                    std::min(settings::trackingTemperature.defaultValue, alarmCelsius - 0.1));
    return {detectionCelsius, alarmCelsius};
}

int limitedSavePeriod(int seconds) {
    return std::clamp(seconds, value_limits::minimumSavePeriodSeconds,
                      value_limits::maximumSavePeriodSeconds);
}

int limitedNucPeriod(int seconds) {
    if (seconds <= 0)
        return 0;
    return std::clamp(seconds, value_limits::minimumNucSeconds, value_limits::maximumNucSeconds);
}

int limitedRegionArea(int pixels) {
    return std::max(pixels, value_limits::minimumRegionArea);
}

double limitedOffset(double celsius) {
    if (std::isnan(celsius))
        return settings::userOffset.defaultValue;
    return std::clamp(celsius, -value_limits::maximumOffsetCelsius, value_limits::maximumOffsetCelsius);
}

int limitedBaselineCount(int count) {
    return std::clamp(count, value_limits::minimumBaselineCount, value_limits::maximumBaselineCount);
}

double limitedBaselineDelta(double celsius) {
    if (std::isnan(celsius))
        return settings::baselineDelta.defaultValue;
    return std::clamp(celsius, value_limits::minimumBaselineDelta, value_limits::maximumBaselineDelta);
}

int limitedBaselineResetMinutes(int minutes) {
    return std::clamp(minutes, 0, value_limits::maximumBaselineResetMinutes);
}

} // namespace calidra
