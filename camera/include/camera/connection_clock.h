#pragma once
// The time the camera connection runs on: its timers and its millisecond tick. The station uses
// Qt's timers and the monotonic tick; tests step a fake clock by hand.

#include <cstdint>
#include <functional>
#include <memory>

namespace calidra {

class ConnectionTimer {
public:
    virtual ~ConnectionTimer() = default;
    // Restarts the timer with this period.
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int intervalMs() const = 0;
};

class ConnectionClock {
public:
    virtual ~ConnectionClock() = default;
    // Wraps after 2^32 ms, like the pipeline's frame tick, which uses the same clock.
    virtual uint32_t nowMs() = 0;
    // The timeout runs on the thread that made the timer.
    virtual std::unique_ptr<ConnectionTimer> createTimer(bool singleShot, std::function<void()> timeout) = 0;
};

// Qt's timers and monotonicTickMs().
ConnectionClock& systemConnectionClock();

} // namespace calidra
