#pragma once
// The station's millisecond tick: a monotonic clock that wraps after 2^32 ms like the camera's.

#include <cstdint>

namespace calidra {

uint32_t monotonicTickMs();

} // namespace calidra
