#include "pipeline/alarm_baseline.h"

#include "pipeline/temperature_scale.h"

#include <algorithm>
#include <cmath>

namespace calidra {
namespace {

int countOf(const BaselineSettings& settings) {
    return std::clamp(settings.count, BaselineLearner::smallestCount, BaselineLearner::largestCount);
}

} // namespace

std::optional<double> BaselineLearner::baseline(int count) const {
    if (int(readings_.size()) < count)
        return std::nullopt;
    double sum = 0.0;
    double highest = readings_.back();
    double lowest = readings_.back();
    for (auto reading = readings_.end() - count; reading != readings_.end(); ++reading) {
        sum += *reading;
        highest = std::max(highest, *reading);
        lowest = std::min(lowest, *reading);
    }
    return (sum - highest - lowest) / double(count - 2);
}

BaselineStatus BaselineLearner::status(const BaselineSettings& settings, double fixedAlarmCelsius) const {
    BaselineStatus status;
    status.mode = settings.mode;
    status.count = countOf(settings);
    status.learned = std::min(int(readings_.size()), status.count);
    status.thresholdCelsius = fixedAlarmCelsius;
    if (settings.mode != AlarmMode::Baseline)
        return status;
    status.baselineCelsius = baseline(status.count);
    if (status.baselineCelsius)
        status.thresholdCelsius =
            std::min(*status.baselineCelsius + settings.deltaCelsius, temperatureCeilingCelsius);
    return status;
}

BaselineStatus BaselineLearner::update(const BaselineSettings& settings, double fixedAlarmCelsius,
                                       uint32_t tickMs) {
    const uint32_t resetMs = uint32_t(std::max(settings.resetMinutes, 0)) * 60000u;
    if (resetMs > 0 && measuredYet_ && tickMs - lastMeasuredTick_ >= resetMs) {
        readings_.clear();
        measuredYet_ = false; // the reset time counts again from the next person measured
    }
    return status(settings, fixedAlarmCelsius);
}

bool BaselineLearner::offer(const PersonResult& person, const BaselineSettings& settings,
                            double fixedAlarmCelsius) {
    if (!person.readingCelsius || !std::isfinite(*person.readingCelsius))
        return false;
    measuredYet_ = true;
    lastMeasuredTick_ = person.lastSeenTick;
    const double reading = *person.readingCelsius;
    if (person.alarmed)
        return false;
    // Judged as in mode Baseline, whatever the mode: the baseline learned in mode Fixed is the one
    // that mode Baseline puts in force.
    BaselineSettings asBaseline = settings;
    asBaseline.mode = AlarmMode::Baseline;
    const BaselineStatus now = status(asBaseline, fixedAlarmCelsius);
    const double inForce = settings.mode == AlarmMode::Baseline
                               ? now.thresholdCelsius
                               : std::min(now.thresholdCelsius, fixedAlarmCelsius);
    if (reading >= inForce)
        return false;
    const bool near = now.baselineCelsius
                          ? std::abs(reading - *now.baselineCelsius) <= windowDeltas * settings.deltaCelsius
                          : reading >= lowestLearnedCelsius;
    if (!near)
        return false;
    readings_.push_back(reading);
    if (int(readings_.size()) > largestCount)
        readings_.pop_front();
    return true;
}

} // namespace calidra
