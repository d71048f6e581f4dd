#pragma once
// Which thread a call runs on, checked in every build: the station ships, and its tests run, as
// release builds, where Q_ASSERT is compiled out. A call on the wrong thread races with the
// owner's timers and data, and what it spoils shows far from the cause, so the check stops the
// program at once with qFatal, naming the call. A counted report would let a station go on with
// spoilt state, and a test pass unless it thought to read the count.

#include <QObject>
#include <QThread>

namespace calidra {

[[noreturn]] void threadAffinityViolated(const char* call, const char* rule);

// The calling thread must be the one object lives in.
inline void requireOwnerThread(const QObject& object, const char* call) {
    if (Q_UNLIKELY(QThread::currentThread() != object.thread()))
        threadAffinityViolated(call, "must run on its owner's thread");
}

// The calling thread must not be `thread` (the call waits for it).
inline void requireOtherThread(const QThread* thread, const char* call) {
    if (Q_UNLIKELY(QThread::currentThread() == thread))
        threadAffinityViolated(call, "must not run on the thread it waits for");
}

} // namespace calidra

// In a member function of a QObject: stops the program unless called on the object's thread.
#define CALIDRA_REQUIRE_OWNER_THREAD() ::calidra::requireOwnerThread(*this, Q_FUNC_INFO)
