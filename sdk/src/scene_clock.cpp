#include "scene_clock.h"

#include <atomic>

namespace calidra::simulator {

namespace {

class SteadySceneClock : public SceneClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint due,
                   const bool& stop) override {
        return wake.wait_until(lock, due, [&stop] { return stop; });
    }
};

std::atomic<SceneClock*> chosenClock{nullptr};

} // namespace

SceneClock& steadySceneClock() {
    static SteadySceneClock clock;
    return clock;
}

void useSceneClock(SceneClock* clock) {
    chosenClock.store(clock);
}

SceneClock& chosenSceneClock() {
    SceneClock* clock = chosenClock.load();
    return clock != nullptr ? *clock : steadySceneClock();
}

} // namespace calidra::simulator
