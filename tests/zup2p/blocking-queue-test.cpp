#include "zup2p/blocking-queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using IntQueue = bg::BlockingQueue<int>;

template <typename F>
std::chrono::milliseconds Timed(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(BlockingQueueTest, PopsInOrderAndPeeksWithoutRemoving) {
    IntQueue q;
    EXPECT_EQ(q.push(1), IntQueue::kDone);
    EXPECT_EQ(q.push(2), IntQueue::kDone);
    int out = 0;
    EXPECT_EQ(q.pop(out, false, 0, false), IntQueue::kDone);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(q.size(), 2u);
    EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kDone);
    EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kDone);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kEmpty);
}

TEST(BlockingQueueTest, EmptyPopWaitsOnlyAsLongAsAsked) {
    IntQueue q;
    int out = 0;
    EXPECT_LT(Timed([&] { EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kEmpty); }),
              std::chrono::milliseconds(20));
    const auto waited = Timed([&] { EXPECT_EQ(q.pop(out, false, 50, true), IntQueue::kEmpty); });
    EXPECT_GE(waited, std::chrono::milliseconds(45));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST(BlockingQueueTest, WaitingPopWakesOnPush) {
    IntQueue q;
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        q.push(7);
    });
    int out = 0;
    EXPECT_EQ(q.pop(out, false, 5000, true), IntQueue::kDone);
    EXPECT_EQ(out, 7);
    producer.join();

    std::thread again([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        q.push(8);
    });
    EXPECT_EQ(q.pop(out, true, 0, true), IntQueue::kDone);
    EXPECT_EQ(out, 8);
    again.join();
}

TEST(BlockingQueueTest, BoundedPushReportsFullAfterItsWait) {
    IntQueue q;
    EXPECT_EQ(q.push(1, 2, false, 0), IntQueue::kDone);
    EXPECT_EQ(q.push(2, 2, false, 0), IntQueue::kDone);
    EXPECT_EQ(q.push(3, 2, false, 0), IntQueue::kFull);
    const auto waited = Timed([&] { EXPECT_EQ(q.push(3, 2, false, 40), IntQueue::kFull); });
    EXPECT_GE(waited, std::chrono::milliseconds(35));
    EXPECT_EQ(q.size(), 2u);
    // The unbounded push ignores the limit.
    EXPECT_EQ(q.push(3), IntQueue::kDone);
    EXPECT_EQ(q.size(), 3u);
}

TEST(BlockingQueueTest, BoundedPushGetsRoomWhenAReaderTakesOne) {
    IntQueue q;
    q.push(1);
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        int out = 0;
        q.pop(out, false, 0, true);
    });
    EXPECT_EQ(q.push(2, 1, false, 5000), IntQueue::kDone);
    reader.join();
    int out = 0;
    EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kDone);
    EXPECT_EQ(out, 2);

    // A peek frees no room: the bounded writer keeps waiting.
    q.push(3);
    std::thread peeker([&] {
        int seen = 0;
        q.pop(seen, false, 0, false);
    });
    EXPECT_EQ(q.push(4, 1, false, 50), IntQueue::kFull);
    peeker.join();
}

TEST(BlockingQueueTest, StopWakesEveryWaiterAndRefusesEverything) {
    IntQueue q;
    q.push(1);
    std::atomic<int> push_result{-1};
    std::atomic<int> pop_result{-1};
    IntQueue empty;
    std::thread writer([&] { push_result = q.push(2, 1, true, 0); });
    std::thread reader([&] {
        int out = 0;
        pop_result = empty.pop(out, true, 0, true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    q.stop();
    empty.stop();
    writer.join();
    reader.join();
    EXPECT_EQ(push_result, IntQueue::kStopped);
    EXPECT_EQ(pop_result, IntQueue::kStopped);

    int out = 0;
    EXPECT_EQ(q.push(5), IntQueue::kStopped);
    EXPECT_EQ(q.push(5, 10, false, 0), IntQueue::kStopped);
    EXPECT_EQ(q.pop(out, false, 0, true), IntQueue::kStopped);  // even with an element left
    EXPECT_LT(Timed([&] { q.pop(out, true, 0, true); }), std::chrono::milliseconds(100));
}

TEST(BlockingQueueTest, LeftoversAreReleasedOnClearAndDestruction) {
    auto released = std::make_shared<std::vector<int>>();
    {
        IntQueue q([released](int& v) { released->push_back(v); });
        q.push(1);
        q.push(2);
        q.clear();
        EXPECT_EQ(*released, (std::vector<int>{1, 2}));
        EXPECT_EQ(q.size(), 0u);
        q.push(3);
        q.push(4);
        int out = 0;
        q.pop(out, false, 0, true);  // taken by a reader: no longer the queue's
    }
    EXPECT_EQ(*released, (std::vector<int>{1, 2, 4}));
}

TEST(BlockingQueueTest, DestructorReleasesOwnedMemory) {
    // Leak checkers see what the release function would have missed.
    bg::BlockingQueue<char*> q([](char*& p) { delete[] p; });
    for (int i = 0; i < 10; ++i)
        q.push(new char[64]);
}

TEST(BlockingQueueTest, BoolInstantiationWorks) {
    bg::BlockingQueue<bool> q;
    q.push(true);
    q.push(false);
    bool out = false;
    EXPECT_EQ(q.pop(out, false, 0, true), 0);
    EXPECT_TRUE(out);
    EXPECT_EQ(q.pop(out, false, 0, true), 0);
    EXPECT_FALSE(out);
}

TEST(BlockingQueueTest, ManyWritersAndReadersLoseNothing) {
    IntQueue q;
    constexpr int kWriters = 4;
    constexpr int kEach = 5000;
    std::atomic<long long> sum{0};
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            int out = 0;
            while (q.pop(out, true, 0, true) == IntQueue::kDone) {
                sum += out;
                ++taken;
            }
        });
    }
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&] {
            for (int i = 1; i <= kEach; ++i) {
                while (q.push(i, 16, false, 10) == IntQueue::kFull) {
                }
            }
        });
    }
    for (std::thread& w : writers)
        w.join();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (taken < kWriters * kEach && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    q.stop();
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(taken, kWriters * kEach);
    EXPECT_EQ(sum, static_cast<long long>(kWriters) * kEach * (kEach + 1) / 2);
}

}  // namespace
