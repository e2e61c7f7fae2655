#include "dep/QtComponent/media-socket/timer.h"

namespace media_socket {

// A repeating timer with no interval would fire again and again within one
// iteration; it fires once per millisecond at most instead.
Timer::Timer(int64_t interval_ms, bool repeat)
    : interval_ms_(repeat && interval_ms <= 0 ? 1 : interval_ms), repeat_(repeat) {}

}  // namespace media_socket
