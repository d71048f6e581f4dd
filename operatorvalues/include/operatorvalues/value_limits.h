#pragma once
// The sensible range of each operator value. A typed value outside it is refused; a stored one
// (an old settings file, a hand edit) is brought into it when read.

#include <QString>

#include <optional>

namespace calidra {

namespace value_limits {
constexpr double minimumDetectionCelsius = 20.0; // and below the alarm temperature
constexpr double minimumAlarmCelsius = 30.0;     // both capped at temperatureCeilingCelsius
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

// Stored values brought into their ranges. A stored value that is not a number at all gives the
// default; the detection temperature is moved below the alarm temperature, never the reverse.
struct StoredTemperatures {
    double detectionCelsius;
    double alarmCelsius;
};
StoredTemperatures limitedTemperatures(double detectionCelsius, double alarmCelsius);
int limitedSavePeriod(int seconds);
int limitedNucPeriod(int seconds);
int limitedRegionArea(int pixels);
double limitedOffset(double celsius);
int limitedBaselineCount(int count);
double limitedBaselineDelta(double celsius);
int limitedBaselineResetMinutes(int minutes);

} // namespace calidra
