#include "zup2p/cpu-pts.h"

#include <chrono>
#include <ctime>
#include <mutex>
#include <ratio>

namespace bg {

namespace {

// steady_clock is CLOCK_MONOTONIC here: a counter at 1e9 ticks per second.
using Counter = std::chrono::steady_clock;
static_assert(std::is_same<Counter::period, std::nano>::value, "nanosecond counter expected");

constexpr int64_t kFrequency = 1000000000;

std::once_flag g_init_once;
int64_t g_base_seconds = 0;

int64_t ReadCounter() {
    return Counter::now().time_since_epoch().count();
}

void InitBase() {
    const int64_t counter = ReadCounter();
    const int64_t epoch = static_cast<int64_t>(std::time(nullptr));
    g_base_seconds = epoch - counter / kFrequency;
}

}  // namespace

void cpu_pts(int64_t* seconds, int64_t* nanoseconds) {
    std::call_once(g_init_once, InitBase);
    const int64_t counter = ReadCounter();
    if (seconds)
        *seconds = counter / kFrequency + g_base_seconds;
    if (nanoseconds)
        *nanoseconds = counter % kFrequency;
}

int64_t cpu_msec_pts() {
    int64_t s = 0;
    int64_t ns = 0;
    cpu_pts(&s, &ns);
    return s * 1000 + ns / 1000000;
}

int64_t cpu_usec_pts() {
    int64_t s = 0;
    int64_t ns = 0;
    cpu_pts(&s, &ns);
    return s * 1000000 + ns / 1000;
}

int64_t cpu_nano_pts() {
    int64_t s = 0;
    int64_t ns = 0;
    cpu_pts(&s, &ns);
    return s * 1000000000 + ns;
}

}  // namespace bg
