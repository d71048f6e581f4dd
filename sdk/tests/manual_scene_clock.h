#pragma once
// A scene clock for the simulated cameras that moves only when the test moves it, so that a
// scenario's events and frames come at the scene times the test chooses, however slow the machine.

#include "../src/scene_clock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class ManualSceneClock : public calidra::simulator::SceneClock {
public:
    TimePoint now() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return now_;
    }

    void advance(std::chrono::nanoseconds step) {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ += step;
    }

    // How many scene threads wait for a time still ahead: each has seen the clock's present time.
    std::size_t waitingAhead() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::size_t(
            std::count_if(dues_.begin(), dues_.end(), [this](TimePoint due) { return due > now_; }));
    }

    // The waiter's condition variable belongs to the library: rather than hooking every one into
    // advance(), a waiter looks at the time again every millisecond.
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint due,
                   const bool& stop) override {
        Waiting waiting(*this, due);
        while (!stop) {
            if (now() >= due) {
                return false;
            }
            wake.wait_for(lock, std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    struct Waiting {
        Waiting(ManualSceneClock& clock, TimePoint due) : clock(clock), due(due) {
            std::lock_guard<std::mutex> lock(clock.mutex_);
            clock.dues_.push_back(due);
        }
        ~Waiting() {
            std::lock_guard<std::mutex> lock(clock.mutex_);
            clock.dues_.erase(std::find(clock.dues_.begin(), clock.dues_.end(), due));
        }
        ManualSceneClock& clock;
        TimePoint due;
    };

    std::mutex mutex_;
    TimePoint now_{};
    std::vector<TimePoint> dues_;
};
