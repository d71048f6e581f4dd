#pragma once
// Waiting in tests that have Qt's event loop: queued signals and timers run while the test waits.

#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace calidra::test {

template <typename Condition>
bool waitForWithEvents(Condition done, std::chrono::milliseconds deadline = kEventDeadline) {
    return waitFor(done, deadline, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
}

} // namespace calidra::test
