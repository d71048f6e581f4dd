#pragma once
// Waiting in tests: for the event a test needs, with a deadline generous enough for a machine
// loaded by sanitizers and parallel tests. A slow machine makes a test slower, never red. Nothing
// here counts what happens in a stretch of wall-clock time.

#include <chrono>
#include <thread>

namespace calidra::test {

// The deadline a test gives an event that should come in well under a second on a quiet machine.
constexpr std::chrono::milliseconds kEventDeadline{30000};

// Calls step() between checks of done() until done() holds or the deadline has passed; returns
// done() as last seen. The default step sleeps briefly; tests with an event loop pass one that
// runs it (see qt_wait.h).
template <typename Condition, typename Step>
bool waitFor(Condition done, std::chrono::milliseconds deadline, Step step) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return done();
        }
        step();
    }
    return true;
}

template <typename Condition>
bool waitFor(Condition done, std::chrono::milliseconds deadline = kEventDeadline) {
    return waitFor(done, deadline, [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
}

} // namespace calidra::test
