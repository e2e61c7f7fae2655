#pragma once

#include <cstdint>

#include "zup2p/zup2p-export.h"

namespace bg {

// A monotonic clock aligned once, at its first use in the process, to the Unix
// epoch: the wall time of that first call plus the monotonic time elapsed
// since. It never jumps when the system clock is set.

// Seconds and nanoseconds of the clock; either place may be null.
ZUP2P_EXPORT void cpu_pts(int64_t* seconds = nullptr, int64_t* nanoseconds = nullptr);
ZUP2P_EXPORT int64_t cpu_msec_pts();
ZUP2P_EXPORT int64_t cpu_usec_pts();
ZUP2P_EXPORT int64_t cpu_nano_pts();

}  // namespace bg
