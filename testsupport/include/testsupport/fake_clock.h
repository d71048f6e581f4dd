#pragma once
// A clock for the camera connection that moves only when the test says so: every timer due on
// the way fires at its own moment, with the queued hand-overs of the event loop run after it.

#include "camera/connection_clock.h"

#include <cstdint>
#include <vector>

namespace calidra::test {

class FakeClock : public ConnectionClock {
public:
    // Starts shortly before the 32-bit tick wraps, so every test crosses the wrap.
    explicit FakeClock(uint64_t startMs = 0x100000000ull - 20000);
    ~FakeClock() override;

    uint32_t nowMs() override { return uint32_t(timeMs_); }
    std::unique_ptr<ConnectionTimer> createTimer(bool singleShot, std::function<void()> timeout) override;

    // Runs the timers due within the next milliseconds, in time order.
    void advance(int milliseconds);
    // Milliseconds since the clock was made.
    int64_t elapsedMs() const { return int64_t(timeMs_ - startMs_); }

private:
    class Timer;
    friend class Timer;

    uint64_t startMs_;
    uint64_t timeMs_;
    uint64_t nextStart_ = 0; // orders timers due at the same moment by when they were started
    std::vector<Timer*> timers_;
};

} // namespace calidra::test
