#pragma once
// The sensible range of each operator value. A typed value outside it is refused; a stored one
// (an old settings file, a hand edit) is replaced by its key's default when read, and reported.

#include "settings/settings_store.h"

#include <QString>

#include <optional>

namespace calidra {

namespace value_limits {
constexpr double minimumDetectionCelsius = 20.0; // and below the alarm temperature
constexpr double minimumAlarmCelsius = 30.0;
// Above this an alarm temperature is a slip (99 for 39.9, 375 for 37.5), never a fever threshold.
constexpr double maximumAlarmCelsius = 40.0;
constexpr int minimumSavePeriodSeconds = 1;
constexpr int maximumSavePeriodSeconds = 3600;
constexpr double maximumOffsetCelsius = 20.0; // and its negative
constexpr int minimumNucSeconds = 10;         // or 0: no periodic NUC
constexpr int maximumNucSeconds = 3600;
constexpr double minimumReferenceCelsius = 20.0; // the reference source's set temperature
constexpr double maximumReferenceCelsius = 50.0;
constexpr int minimumReferenceHoldSeconds = 1;
constexpr int maximumReferenceHoldSeconds = 3600;
constexpr int minimumRegionArea = 1; // the frame's area is the upper bound, applied per frame

// Alarm mode Baseline.
constexpr int minimumBaselineCount = 5; // people the baseline is the mean of
constexpr int maximumBaselineCount = 50;
constexpr double minimumBaselineDelta = 0.3; // the margin above the baseline, °C
constexpr double maximumBaselineDelta = 3.0;
constexpr int maximumBaselineResetMinutes = 1440; // or 0: never relearned
} // namespace value_limits

// The whole text as a number ("37.5", " -4 ", "+2."), nothing else: no trailing letters, no
// exponent, no "nan" or "inf". Integers also refuse a fraction.
std::optional<double> wholeNumber(const QString& text);
std::optional<int> wholeInteger(const QString& text);

// A stored value's limits: minimum to maximum, and 0 as well where 0 means off.
struct StoredLimits {
    double minimum;
    double maximum;
    bool zeroAllowed = false;

    bool allow(double value) const;
    // "30 to 40", "0 or 10 to 3600", "at least 1".
    QString text() const;
};

// The limits of an operator value by its key; none for a key without limits.
std::optional<StoredLimits> storedLimits(const QString& key);

// A stored value as read against its key's limits.
template <typename Value> struct StoredReading {
    Value value;           // within the limits
    QString storedText;    // as the store holds it; empty for a missing key
    bool replaced = false; // outside the limits or no number at all: value is the key's default
};
StoredReading<int> readWithinLimits(SettingsSection& store, const Setting<int>& setting);
StoredReading<double> readWithinLimits(SettingsSection& store, const Setting<double>& setting);

// The detection temperature for an alarm temperature it is not below: its default, or just below
// the alarm temperature when the default is not. The alarm temperature itself is never raised.
double detectionBelowAlarm(double alarmCelsius);

// A typed baseline count or margin brought into its limits.
int limitedBaselineCount(int count);
double limitedBaselineDelta(double celsius);

} // namespace calidra
