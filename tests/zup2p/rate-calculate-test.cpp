#include "zup2p/rate-calculate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "zup2p/rate-calculate-private.h"

namespace {

// A clock the test moves by hand, in microseconds.
std::atomic<int64_t> g_now{0};
int64_t FakeNow() {
    return g_now.load();
}

constexpr int64_t kStart = 1700000000LL * 1000000;
constexpr int64_t kMs = 1000;
constexpr int64_t kSecond = 1000000;

class RateCalculatePrivateTest : public testing::Test {
protected:
    void advance(int64_t us) { g_now += us; }

    // Set before the meter reads the clock in its constructor.
    int64_t start_ = (g_now = kStart);
    bg::RateCalculatePrivate meter{&FakeNow};
};

TEST_F(RateCalculatePrivateTest, NonPositiveAmountsChangeNothing) {
    meter.update(1000);
    advance(100 * kMs);
    meter.update(0);
    meter.update(-5);
    EXPECT_EQ(meter.total(), 1000);
    EXPECT_EQ(meter.sample_count(), 1u);
    // Neither counted as activity: the pause still runs from the first update.
    advance(10 * kSecond - 50 * kMs);
    EXPECT_EQ(meter.current_rate(), 0);
    EXPECT_EQ(meter.total(), 0);
}

TEST_F(RateCalculatePrivateTest, WindowKeepsTwentyOneSamplesAtTenPerSecond) {
    for (int i = 0; i < 30; ++i) {
        if (i > 0)
            advance(100 * kMs);
        meter.update(1000);
    }
    EXPECT_EQ(meter.sample_count(), 21u);
    EXPECT_EQ(meter.total(), 21000);
    // Samples 9..29 remain; the window starts at the oldest of them.
    EXPECT_EQ(meter.window_start(), kStart + 900 * kMs);
    advance(100 * kMs);
    EXPECT_EQ(meter.current_rate(), 21000 * kSecond / (2100 * kMs));  // 10,000 per second
    EXPECT_EQ(meter.current_rate(), 10000);
    // Each dropped record came straight back as the newest sample.
    EXPECT_EQ(meter.free_count(), 0u);
}

TEST_F(RateCalculatePrivateTest, KeepsTwentyNewestSamplesEvenWhenOld) {
    for (int i = 0; i < 25; ++i) {
        if (i > 0)
            advance(2 * kSecond);
        meter.update(10);
    }
    EXPECT_EQ(meter.sample_count(), 21u);
    EXPECT_EQ(meter.total(), 210);
}

TEST_F(RateCalculatePrivateTest, FastUpdatesKeepTheLastSecond) {
    for (int i = 0; i < 300; ++i) {
        if (i > 0)
            advance(10 * kMs);
        meter.update(1);
    }
    // Everything younger than one second: the sample at exactly 1 s is dropped.
    EXPECT_EQ(meter.sample_count(), 100u);
    EXPECT_EQ(meter.total(), 100);
    // Records are reused: never more allocated than the window needed.
    EXPECT_LE(meter.sample_count() + meter.free_count(), 102u);
}

TEST_F(RateCalculatePrivateTest, LongSilenceEmptiesTheMeter) {
    for (int i = 0; i < 5; ++i) {
        advance(100 * kMs);
        meter.update(500);
    }
    advance(11 * kSecond);
    EXPECT_EQ(meter.current_rate(), 0);
    EXPECT_EQ(meter.total(), 0);
    EXPECT_EQ(meter.sample_count(), 0u);
    EXPECT_EQ(meter.free_count(), 5u);
    EXPECT_EQ(meter.window_start(), g_now.load());
}

TEST_F(RateCalculatePrivateTest, TenSecondsExactlyIsNotAPause) {
    meter.update(100);
    advance(10 * kSecond);
    meter.update(100);
    EXPECT_EQ(meter.sample_count(), 2u);
    EXPECT_EQ(meter.total(), 200);
}

TEST_F(RateCalculatePrivateTest, FirstUpdateAfterPauseCountsWithoutSample) {
    meter.update(100);
    meter.update(100);
    advance(10 * kSecond + 1);
    meter.update(700);
    EXPECT_EQ(meter.total(), 700);
    EXPECT_EQ(meter.sample_count(), 0u);
    EXPECT_EQ(meter.window_start(), g_now.load());
    advance(500 * kMs);
    meter.update(300);
    EXPECT_EQ(meter.sample_count(), 1u);
    EXPECT_EQ(meter.total(), 1000);
    EXPECT_EQ(meter.current_rate(), 2000);  // 1000 over the 0.5 s since the restart
}

TEST_F(RateCalculatePrivateTest, ClockGoingBackIsNoPause) {
    meter.update(100);
    advance(-5 * kSecond);
    meter.update(100);
    EXPECT_EQ(meter.total(), 200);
    EXPECT_EQ(meter.sample_count(), 2u);
    EXPECT_EQ(meter.current_rate(), 0);  // no time elapsed by this clock
}

TEST_F(RateCalculatePrivateTest, NoElapsedTimeGivesZeroRate) {
    meter.update(100);
    EXPECT_EQ(meter.current_rate(), 0);
}

TEST_F(RateCalculatePrivateTest, HugeAmountsDoNotOverflow) {
    const int64_t max = std::numeric_limits<int64_t>::max();
    meter.update(max);
    meter.update(max);
    EXPECT_EQ(meter.total(), max);
    advance(1);
    EXPECT_EQ(meter.current_rate(), max);
    advance(kSecond);
    meter.reset();
    meter.update(max / 2);
    advance(2 * kSecond);
    EXPECT_EQ(meter.current_rate(), max / 2 / 2);
}

TEST_F(RateCalculatePrivateTest, ResetEmptiesAndRecycles) {
    meter.update(10);
    meter.update(20);
    advance(kSecond);
    meter.reset();
    EXPECT_EQ(meter.total(), 0);
    EXPECT_EQ(meter.sample_count(), 0u);
    EXPECT_EQ(meter.free_count(), 2u);
    EXPECT_EQ(meter.window_start(), g_now.load());
    meter.update(5);
    EXPECT_EQ(meter.free_count(), 1u);
}

TEST_F(RateCalculatePrivateTest, ConcurrentUpdatesAreAllCounted) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                meter.update(1);
        });
    }
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i)
            meter.current_rate();
    });
    for (std::thread& t : threads)
        t.join();
    reader.join();
    EXPECT_EQ(meter.total(), 8000);
    EXPECT_EQ(meter.sample_count(), 8000u);
}

TEST(RateCalculateTest, RealClockMeasuresSomething) {
    bg::RateCalculate rate;
    rate.update(0);
    rate.update(-5);
    EXPECT_EQ(rate.current_rate(), 0);
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rate.update(1000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int64_t r = rate.current_rate();
    // 5000 over roughly 60 ms; generous bounds for loaded machines.
    EXPECT_GT(r, 1000);
    EXPECT_LT(r, 5000 * 1000000LL / 50000);
    rate.reset();
    EXPECT_EQ(rate.current_rate(), 0);
}

}  // namespace
