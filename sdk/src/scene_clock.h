#pragma once
// The simulated cameras' time: when people walk, when cameras are plugged,
// unplugged or stall, and when the next frame is due. The machine's steady
// clock, unless a test stands a clock of its own in.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace calidra::simulator {

class SceneClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~SceneClock() = default;
    virtual TimePoint now() = 0;
    // Called with lock held: waits on wake until this clock reaches due or stop
    // (guarded by lock) is set; returns stop.
    virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint due,
                           const bool& stop) = 0;
};

SceneClock& steadySceneClock();

// Exported from libSorvikC.so for tests: the clock of the simulated cameras
// from the next svkInit on (null: the steady clock). The caller keeps the
// clock alive until svkUninit.
__attribute__((visibility("default"))) void useSceneClock(SceneClock* clock);

SceneClock& chosenSceneClock();

} // namespace calidra::simulator
