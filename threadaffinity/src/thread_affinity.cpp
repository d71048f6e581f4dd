#include "threadaffinity/thread_affinity.h"

#include <QtGlobal>

namespace calidra {

void threadAffinityViolated(const char* call, const char* rule) {
    qFatal("Thread affinity: %s %s (called on thread %p).", call, rule,
           static_cast<void*>(QThread::currentThread()));
}

} // namespace calidra
