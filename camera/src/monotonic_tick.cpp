#include "camera/monotonic_tick.h"

#include <time.h>

namespace calidra {

uint32_t monotonicTickMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

} // namespace calidra
