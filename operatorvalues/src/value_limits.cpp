#include "operatorvalues/value_limits.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

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

bool StoredLimits::allow(double value) const {
    return (zeroAllowed && value == 0.0) || (value >= minimum && value <= maximum);
}

QString StoredLimits::text() const {
    if (maximum >= double(INT_MAX))
        return QStringLiteral("at least %1").arg(minimum);
    const QString range = QStringLiteral("%1 to %2").arg(minimum).arg(maximum);
    return zeroAllowed ? QStringLiteral("0 or ") + range : range;
}

std::optional<StoredLimits> storedLimits(const QString& key) {
    using namespace value_limits;
    static const std::vector<std::pair<QString, StoredLimits>> table{
        {settings::trackingTemperature.key, {minimumDetectionCelsius, maximumAlarmCelsius}},
        {settings::alarmTemperature.key, {minimumAlarmCelsius, maximumAlarmCelsius}},
        {settings::alarmSavePeriod.key, {minimumSavePeriodSeconds, maximumSavePeriodSeconds}},
        {settings::nucPeriod.key, {minimumNucSeconds, maximumNucSeconds, true}},
        {settings::detectTest.key, {minimumRegionArea, double(INT_MAX)}},
        {settings::userOffset.key, {-maximumOffsetCelsius, maximumOffsetCelsius}},
        {settings::referenceTemperature.key, {minimumReferenceCelsius, maximumReferenceCelsius}},
        {settings::referenceHoldSeconds.key, {minimumReferenceHoldSeconds, maximumReferenceHoldSeconds}},
        {settings::baselineCount.key, {double(minimumBaselineCount), double(maximumBaselineCount)}},
        {settings::baselineDelta.key, {minimumBaselineDelta, maximumBaselineDelta}},
        {settings::baselineResetMinutes.key, {0.0, double(maximumBaselineResetMinutes)}},
    };
    for (const auto& [limitedKey, limits] : table)
        if (limitedKey == key)
            return limits;
    return std::nullopt;
}

namespace {

// The store's own reading gives the default for a text that is no number; the text tells the two
// apart. A section that keeps no texts gives none, and only the number is checked.
template <typename Value, typename IsNumber>
StoredReading<Value> readChecked(SettingsSection& store, const Setting<Value>& setting, IsNumber isNumber) {
    StoredReading<Value> reading{readSetting(store, setting), store.readText(setting.key, QString())};
    const bool number = reading.storedText.isEmpty() || isNumber(reading.storedText.trimmed());
    const std::optional<StoredLimits> limits = storedLimits(setting.key);
    if (number && (!limits || limits->allow(double(reading.value))))
        return reading;
    if (reading.storedText.isEmpty())
        reading.storedText = QString::number(reading.value);
    reading.value = setting.defaultValue;
    reading.replaced = true;
    return reading;
}

} // namespace

StoredReading<int> readWithinLimits(SettingsSection& store, const Setting<int>& setting) {
    return readChecked(store, setting, [](const QString& text) {
        bool valid = false;
        text.toInt(&valid);
        return valid;
    });
}

StoredReading<double> readWithinLimits(SettingsSection& store, const Setting<double>& setting) {
    return readChecked(store, setting, [](const QString& text) {
        bool valid = false;
        text.toDouble(&valid);
        return valid;
    });
}

double detectionBelowAlarm(double alarmCelsius) {
    // Lowering the detection temperature keeps every alarm; raising the alarm one would lose some.
    return std::max(value_limits::minimumDetectionCelsius,
                    std::min(settings::trackingTemperature.defaultValue, alarmCelsius - 0.1));
}

int limitedBaselineCount(int count) {
    return std::clamp(count, value_limits::minimumBaselineCount, value_limits::maximumBaselineCount);
}

double limitedBaselineDelta(double celsius) {
    if (std::isnan(celsius))
        return settings::baselineDelta.defaultValue;
    return std::clamp(celsius, value_limits::minimumBaselineDelta, value_limits::maximumBaselineDelta);
}

} // namespace calidra
