#include "zup2p/cpu-pts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

int64_t SteadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TEST(CpuPtsTest, FirstCallsRacingAgreeOnOneBase) {
    // Runs first in its own process (ctest starts one per case): the one-time
    // alignment happens here, from several threads at once.
    constexpr int kThreads = 8;
    std::vector<int64_t> offsets(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&offsets, t] {
            const int64_t before = SteadyNanos();
            const int64_t pts = bg::cpu_nano_pts();
            offsets[t] = pts - before;
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int64_t offset : offsets) {
        // The offset is the base plus the gap between the two readings.
        EXPECT_LT(std::llabs(offset - offsets[0]), 50 * 1000000LL);
    }
}

TEST(CpuPtsTest, AlignedToTheUnixEpoch) {
    int64_t seconds = 0;
    int64_t nanos = -1;
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    bg::cpu_pts(&seconds, &nanos);
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(seconds, before - 2);
    EXPECT_LE(seconds, after + 2);
    EXPECT_GE(nanos, 0);
    EXPECT_LT(nanos, 1000000000);
    bg::cpu_pts(nullptr, &nanos);
    bg::cpu_pts(&seconds, nullptr);
    bg::cpu_pts(nullptr, nullptr);
}

TEST(CpuPtsTest, UnitsAgree) {
    for (int i = 0; i < 1000; ++i) {
        const int64_t ms1 = bg::cpu_msec_pts();
        const int64_t us = bg::cpu_usec_pts();
        const int64_t ns = bg::cpu_nano_pts();
        const int64_t ms2 = bg::cpu_msec_pts();
        ASSERT_LE(ms1, us / 1000);
        ASSERT_LE(us, ns / 1000);
        ASSERT_LE(ns / 1000000, ms2);
        ASSERT_LE(ms2 - ms1, 1000);
    }
}

TEST(CpuPtsTest, NeverDecreasesAndFollowsRealTime) {
    int64_t last_ns = bg::cpu_nano_pts();
    int64_t last_us = bg::cpu_usec_pts();
    int64_t last_ms = bg::cpu_msec_pts();
    for (int i = 0; i < 100000; ++i) {
        const int64_t ns = bg::cpu_nano_pts();
        const int64_t us = bg::cpu_usec_pts();
        const int64_t ms = bg::cpu_msec_pts();
        ASSERT_GE(ns, last_ns);
        ASSERT_GE(us, last_us);
        ASSERT_GE(ms, last_ms);
        last_ns = ns;
        last_us = us;
        last_ms = ms;
    }
    const int64_t start = bg::cpu_usec_pts();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int64_t slept = bg::cpu_usec_pts() - start;
    EXPECT_GE(slept, 50000);
    EXPECT_LT(slept, 5000000);
}

}  // namespace
