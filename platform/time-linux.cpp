#include "platform/time.h"

#include <time.h>

namespace platform {

int64_t MonotonicMicros() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::string FormatLocalTime(const char* pattern) {
    if (!pattern)
        return std::string();
    time_t now = ::time(nullptr);
    struct tm tm_now;
    if (!::localtime_r(&now, &tm_now))
        return std::string();
    char buf[256];
    size_t n = ::strftime(buf, sizeof(buf), pattern, &tm_now);
    return std::string(buf, n);
}

int64_t UnixSeconds() {
    return static_cast<int64_t>(::time(nullptr));
}

}  // namespace platform
