#include "pipeline/reference_tracker.h"

#include <cmath>

namespace calidra {
namespace {

// The steadiness test compares the means of the window's first and last parts, so that single
// noisy samples do not decide it.
constexpr uint32_t windowPartMs = ReferenceTracker::lockWindowMs / 4;

} // namespace

void ReferenceTracker::restart() {
    state_ = ReferenceState::Searching;
    loss_ = ReferenceLoss::None;
    window_.clear();
    jumpRunning_ = false;
}

void ReferenceTracker::switchOff() {
    restart();
    state_ = ReferenceState::Off;
    correction_ = 0.0;
}

ReferenceState ReferenceTracker::regionUnusable(ReferenceLoss reason) {
    lose(reason);
    return state_;
}

void ReferenceTracker::lose(ReferenceLoss reason) {
    window_.clear();
    jumpRunning_ = false;
    state_ = ReferenceState::Lost;
    loss_ = reason;
}

ReferenceState ReferenceTracker::update(const ReferenceSample& sample, uint32_t tickMs,
                                        const ReferenceTrackerSettings& settings) {
    switch (state_) {
    case ReferenceState::Off:
        restart();
        search(sample, tickMs, settings);
        break;
    case ReferenceState::Searching:
    case ReferenceState::Lost:
        search(sample, tickMs, settings);
        break;
    case ReferenceState::Locked:
    case ReferenceState::Holding:
        follow(sample, tickMs, settings);
        break;
    }
    lastSampleTick_ = tickMs;
    return state_;
}

void ReferenceTracker::search(const ReferenceSample& sample, uint32_t tickMs,
                              const ReferenceTrackerSettings& settings) {
    const bool good = sample.uniform && std::abs(sample.celsius - settings.setCelsius) <= searchReachCelsius;
    if (!good) {
        // A lost source stays lost (with its reason) until it is seen again.
        window_.clear();
        return;
    }
    if (state_ == ReferenceState::Lost) {
        state_ = ReferenceState::Searching;
        loss_ = ReferenceLoss::None;
    }
    window_.push_back({tickMs, sample.celsius});
    const uint32_t runMs = tickMs - window_.front().tickMs;
    if (runMs < lockWindowMs)
        return;
    while (window_.size() > 1 && uint32_t(tickMs - window_[1].tickMs) >= lockWindowMs)
        window_.pop_front();
    if (!windowSteady())
        return; // still warming up or cooling down
    estimate_ = windowTailMean();
    correction_ = settings.setCelsius - estimate_;
    window_.clear();
    state_ = ReferenceState::Locked;
    lastGoodTick_ = tickMs;
    jumpRunning_ = false;
}

bool ReferenceTracker::windowSteady() const {
    const uint32_t start = window_.front().tickMs;
    const uint32_t end = window_.back().tickMs;
    double headSum = 0.0;
    int headCount = 0;
    for (const TimedReading& reading : window_) {
        if (uint32_t(reading.tickMs - start) > windowPartMs)
            break;
        headSum += reading.celsius;
        ++headCount;
    }
    double tailSum = 0.0;
    int tailCount = 0;
    for (auto reading = window_.rbegin(); reading != window_.rend(); ++reading) {
        if (uint32_t(end - reading->tickMs) > windowPartMs)
            break;
        tailSum += reading->celsius;
        ++tailCount;
    }
    return std::abs(tailSum / tailCount - headSum / headCount) < steadyCelsius;
}

double ReferenceTracker::windowTailMean() const {
    const uint32_t end = window_.back().tickMs;
    double sum = 0.0;
    int count = 0;
    for (auto reading = window_.rbegin(); reading != window_.rend(); ++reading) {
        if (uint32_t(end - reading->tickMs) > windowPartMs)
            break;
        sum += reading->celsius;
        ++count;
    }
    return sum / count;
}

void ReferenceTracker::follow(const ReferenceSample& sample, uint32_t tickMs,
                              const ReferenceTrackerSettings& settings) {
    const double difference = sample.celsius - estimate_;
    if (sample.uniform && std::abs(difference) <= lockedReachCelsius) {
        const double elapsedMs = double(uint32_t(tickMs - lastGoodTick_));
        const double weight = 1.0 - std::exp(-elapsedMs / double(filterTimeMs));
        estimate_ += weight * difference;
        correction_ = settings.setCelsius - estimate_;
        lastGoodTick_ = tickMs;
        jumpRunning_ = false;
        state_ = ReferenceState::Locked;
        return;
    }
    state_ = ReferenceState::Holding;
    if (sample.uniform && difference <= -jumpCelsius) {
        if (!jumpRunning_) {
            jumpRunning_ = true;
            jumpSinceTick_ = tickMs;
        }
        if (uint32_t(tickMs - jumpSinceTick_) >= jumpConfirmMs) {
            jumpDrop_ = -difference;
            lose(ReferenceLoss::Jumped);
            return;
        }
    } else {
        jumpRunning_ = false;
    }
    if (uint32_t(tickMs - lastGoodTick_) > settings.holdMs)
        lose(ReferenceLoss::Unseen);
}

} // namespace calidra
