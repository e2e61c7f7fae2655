#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Monotonic clock in microseconds; never jumps with changes of the wall clock.
int64_t MonotonicMicros();
// Local time formatted with a strftime pattern (empty on failure).
std::string FormatLocalTime(const char* pattern);
// Seconds since the Unix epoch.
int64_t UnixSeconds();

}  // namespace platform
