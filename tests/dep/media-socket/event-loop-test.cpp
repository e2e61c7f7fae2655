#include "dep/QtComponent/media-socket/event-loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "dep/QtComponent/media-socket/channel.h"
#include "dep/QtComponent/media-socket/inet-address.h"
#include "dep/QtComponent/media-socket/socket.h"
#include "dep/QtComponent/media-socket/timer.h"
#include "tests/dep/media-socket/loop-runner.h"
#include "tests/dep/media-socket/test-peer.h"

namespace media_socket {
namespace {

using mstest::LoopRunner;
using mstest::WaitUntil;

// A UDP socket holding one unread datagram: readable on every poll, so the
// loop never sleeps and its read callback counts iterations.
struct AlwaysReadable {
    Socket socket{platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp};
    AlwaysReadable() {
        EXPECT_TRUE(socket.Bind(InetAddress("127.0.0.1", 0)));
        socket.SendTo("x", 1, InetAddress("127.0.0.1", socket.LocalPort()));
    }
};

TEST(EventLoopTest, QuitFromAnotherThreadEndsLoopWithinOnePollTimeout) {
    EventLoop loop;
    std::thread t([&] { loop.Loop(); });
    ASSERT_TRUE(WaitUntil([&] { return loop.IsRunning(); }));
    auto start = std::chrono::steady_clock::now();
    loop.Quit();
    t.join();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(200));
    EXPECT_FALSE(loop.IsRunning());
}

TEST(EventLoopTest, QuitBeforeLoopReturnsAtOnce) {
    EventLoop loop;
    loop.Quit();
    loop.Loop();  // must not block
    EXPECT_FALSE(loop.IsRunning());
}

TEST(EventLoopTest, FunctorQueuedByFunctorRunsInNextIteration) {
    LoopRunner runner;
    AlwaysReadable readable;
    std::atomic<int> iterations{0};
    Channel channel(runner.loop(), readable.socket.Fd());
    channel.SetInterest(Channel::kReadEvent);
    channel.SetReadCallback([&] { ++iterations; });
    runner.loop()->AddChannel(&channel);
    runner.Start();

    std::atomic<int> first{-1}, second{-1}, same{-1};
    runner.loop()->QueueInLoop([&] {
        first = iterations.load();
        runner.loop()->QueueInLoop([&] { second = iterations.load(); });
    });
    ASSERT_TRUE(WaitUntil([&] { return second.load() >= 0; }));
    EXPECT_EQ(second.load(), first.load() + 1);

    // Functors queued together run in one batch, in order. They are queued
    // from the loop thread so the loop cannot take the list between them.
    std::vector<int> order;
    std::atomic<bool> done{false};
    runner.loop()->QueueInLoop([&] {
        runner.loop()->QueueInLoop([&] {
            order.push_back(1);
            same = iterations.load();
        });
        runner.loop()->QueueInLoop([&] {
            order.push_back(iterations.load() == same.load() ? 2 : -2);
            done = true;
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    runner.Stop();
    runner.loop()->RemoveChannel(&channel);
}

TEST(EventLoopTest, ChannelAddedBeforeLoopStartsTakesEffectInFirstIteration) {
    LoopRunner runner;
    AlwaysReadable readable;
    std::atomic<int> reads{0};
    Channel channel(runner.loop(), readable.socket.Fd());
    channel.SetInterest(Channel::kReadEvent);
    channel.SetReadCallback([&] { ++reads; });
    runner.loop()->AddChannel(&channel);
    runner.loop()->AddChannel(&channel);
    EXPECT_EQ(runner.loop()->ChannelCount(), 0u);  // queued, not done
    runner.Start();
    EXPECT_TRUE(WaitUntil([&] { return reads.load() > 0; }));
    size_t count = 0;
    ASSERT_TRUE(runner.RunInLoop([&] { count = runner.loop()->ChannelCount(); }));
    EXPECT_EQ(count, 1u);

    // Removed from another thread: no more callbacks once the removal ran.
    runner.loop()->RemoveChannel(&channel);
    ASSERT_TRUE(runner.RunInLoop([&] { count = runner.loop()->ChannelCount(); }));
    EXPECT_EQ(count, 0u);
    int after = reads.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(reads.load(), after);
}

TEST(EventLoopTest, ChannelsWithoutHandleOrInterestAreNeverPolled) {
    LoopRunner runner;
    // An unconnected TCP socket reports a hang-up on every poll it is part of.
    Socket unconnected(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp);
    std::atomic<int> calls{0};
    Channel no_interest(runner.loop(), unconnected.Fd());
    no_interest.SetCloseCallback([&] { ++calls; });
    no_interest.SetReadCallback([&] { ++calls; });
    Channel no_handle(runner.loop(), -1);
    no_handle.SetInterest(Channel::kReadEvent | Channel::kWriteEvent);
    no_handle.SetCloseCallback([&] { ++calls; });
    runner.loop()->AddChannel(&no_interest);
    runner.loop()->AddChannel(&no_handle);
    runner.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls.load(), 0);

    // The same socket with an interest is polled and reports the hang-up.
    ASSERT_TRUE(runner.RunInLoop([&] { no_interest.SetInterest(Channel::kWriteEvent); }));
    EXPECT_TRUE(WaitUntil([&] { return calls.load() > 0; }));
    runner.Stop();
    runner.loop()->RemoveChannel(&no_interest);
    runner.loop()->RemoveChannel(&no_handle);
}

TEST(EventLoopTest, OneShotTimerFiresOnceAndIsRemoved) {
    LoopRunner runner;
    std::atomic<int> fired{0};
    Timer timer(20, false);
    timer.SetCallback([&] { ++fired; });
    runner.loop()->AddTimer(&timer);
    runner.Start();
    ASSERT_TRUE(WaitUntil([&] { return fired.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(fired.load(), 1);
    size_t count = 99;
    ASSERT_TRUE(runner.RunInLoop([&] { count = runner.loop()->TimerCount(); }));
    EXPECT_EQ(count, 0u);
}

TEST(EventLoopTest, RepeatingTimerFiresOncePerInterval) {
    LoopRunner runner;
    std::atomic<int> fired{0};
    Timer timer(50, true);
    timer.SetCallback([&] { ++fired; });
    runner.Start();
    auto start = std::chrono::steady_clock::now();
    runner.loop()->AddTimer(&timer);
    std::this_thread::sleep_for(std::chrono::milliseconds(530));
    runner.Stop();
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // Never early: at most one firing per full interval since arming.
    EXPECT_LE(fired.load(), static_cast<int>(ms / 50));
    EXPECT_GE(fired.load(), 7);
    runner.loop()->RemoveTimer(&timer);
}

TEST(EventLoopTest, RepeatingTimerNeverFiresTwiceInOneIteration) {
    LoopRunner runner;
    AlwaysReadable readable;
    std::atomic<int> iterations{0};
    std::atomic<int> fired{0};
    Channel channel(runner.loop(), readable.socket.Fd());
    channel.SetInterest(Channel::kReadEvent);
    channel.SetReadCallback([&] { ++iterations; });
    Timer timer(1, true);
    // Counts iterations in which the timer fired more than once.
    std::atomic<int> last_iteration{-1}, doubles{0};
    timer.SetCallback([&] {
        if (iterations.load() == last_iteration.load())
            ++doubles;
        last_iteration = iterations.load();
        ++fired;
    });
    runner.loop()->AddChannel(&channel);
    runner.loop()->AddTimer(&timer);
    runner.Start();
    ASSERT_TRUE(WaitUntil([&] { return fired.load() >= 20; }));
    runner.Stop();
    EXPECT_EQ(doubles.load(), 0);
    runner.loop()->RemoveTimer(&timer);
    runner.loop()->RemoveChannel(&channel);
}

TEST(EventLoopTest, ArmingTwiceKeepsOneEntryAndTheFirstArmingTime) {
    LoopRunner runner;
    Timer timer(10000, true);
    runner.Start();
    ASSERT_TRUE(runner.RunInLoop([&] { runner.loop()->AddTimer(&timer); }));
    int64_t armed = timer.Last();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    runner.loop()->AddTimer(&timer);  // from this thread: queued
    size_t count = 0;
    int64_t last = 0;
    ASSERT_TRUE(runner.RunInLoop([&] {
        count = runner.loop()->TimerCount();
        last = timer.Last();
    }));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(last, armed);
    ASSERT_TRUE(runner.RunInLoop([&] { runner.loop()->RemoveTimer(&timer); }));
    ASSERT_TRUE(runner.RunInLoop([&] { count = runner.loop()->TimerCount(); }));
    EXPECT_EQ(count, 0u);
}

TEST(EventLoopTest, TimerThatDisarmsOthersAndItselfIsSafe) {
    LoopRunner runner;
    std::atomic<int> a_fired{0}, b_fired{0}, c_fired{0};
    std::unique_ptr<Timer> b(new Timer(5, true));
    Timer c(5, true);
    Timer a(5, true);
    b->SetCallback([&] { ++b_fired; });
    c.SetCallback([&] { ++c_fired; });
    a.SetCallback([&] {
        ++a_fired;
        // Disarm itself and a timer that follows it, then destroy that one.
        runner.loop()->RemoveTimer(&a);
        runner.loop()->RemoveTimer(b.get());
        b.reset();
    });
    runner.loop()->AddTimer(&a);
    runner.loop()->AddTimer(b.get());
    runner.loop()->AddTimer(&c);
    runner.Start();
    ASSERT_TRUE(WaitUntil([&] { return c_fired.load() >= 3; }));
    runner.Stop();
    EXPECT_EQ(a_fired.load(), 1);
    EXPECT_LE(b_fired.load(), 0);
    runner.loop()->RemoveTimer(&c);
}

TEST(EventLoopTest, ChannelRemovedByEarlierHandlerIsNotCalled) {
    // Two always-readable channels come back from one poll, in handle order.
    // The first handler removes and destroys the second (as a push-play does
    // with the stream acceptor); its callbacks must then not run.
    LoopRunner runner;
    AlwaysReadable r1, r2;
    auto c1 = std::make_unique<Channel>(runner.loop(), r1.socket.Fd());
    auto c2 = std::make_unique<Channel>(runner.loop(), r2.socket.Fd());
    std::unique_ptr<Channel>& lower = c1->Fd() < c2->Fd() ? c1 : c2;
    std::unique_ptr<Channel>& higher = c1->Fd() < c2->Fd() ? c2 : c1;
    std::atomic<int> higher_calls{0};
    std::atomic<bool> removed{false};
    lower->SetInterest(Channel::kReadEvent);
    higher->SetInterest(Channel::kReadEvent);
    higher->SetReadCallback([&] { ++higher_calls; });
    lower->SetReadCallback([&] {
        if (removed.load())
            return;
        runner.loop()->RemoveChannel(higher.get());
        higher.reset();
        removed = true;
    });
    runner.loop()->AddChannel(lower.get());
    runner.loop()->AddChannel(higher.get());
    runner.Start();
    ASSERT_TRUE(WaitUntil([&] { return removed.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    runner.Stop();
    EXPECT_EQ(higher_calls.load(), 0);
    runner.loop()->RemoveChannel(lower.get());
}

}  // namespace
}  // namespace media_socket
