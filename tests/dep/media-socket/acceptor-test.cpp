#include "dep/QtComponent/media-socket/acceptor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "tests/dep/media-socket/loop-runner.h"
#include "tests/dep/media-socket/test-peer.h"

namespace media_socket {
namespace {

using mstest::LoopRunner;
using mstest::TcpPeer;
using mstest::WaitUntil;

TEST(AcceptorTest, ListenFailsForNonIpv4TextAndRegistersNothing) {
    LoopRunner runner;
    Acceptor v6(runner.loop());
    EXPECT_FALSE(v6.Listen("::1", 0));
    Acceptor name(runner.loop());
    EXPECT_FALSE(name.Listen("localhost", 0));
    runner.Start();
    size_t count = 99;
    ASSERT_TRUE(runner.RunInLoop([&] { count = runner.loop()->ChannelCount(); }));
    EXPECT_EQ(count, 0u);
}

TEST(AcceptorTest, ListenFailsOnAPortAlreadyListening) {
    LoopRunner runner;
    Acceptor first(runner.loop());
    ASSERT_TRUE(first.Listen("127.0.0.1", 0));
    Acceptor second(runner.loop());
    EXPECT_FALSE(second.Listen("127.0.0.1", first.Port()));
}

TEST(AcceptorTest, EachConnectionIsHandedOverOnce) {
    LoopRunner runner;
    std::mutex mutex;
    std::vector<Socket> accepted;
    Acceptor acceptor(runner.loop());
    acceptor.SetNewConnectionCallback([&](Socket&& s) {
        std::lock_guard<std::mutex> lock(mutex);
        accepted.push_back(std::move(s));
    });
    ASSERT_TRUE(acceptor.Listen("127.0.0.1", 0));
    runner.Start();
    TcpPeer a, b;
    ASSERT_TRUE(a.Connect(acceptor.Port()));
    ASSERT_TRUE(b.Connect(acceptor.Port()));
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return accepted.size() == 2;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    runner.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(accepted.size(), 2u);
    EXPECT_NE(accepted[0].Fd(), accepted[1].Fd());
    EXPECT_TRUE(accepted[0].IsValid());
}

TEST(AcceptorTest, SocketNotTakenByTheCallbackIsClosed) {
    LoopRunner runner;
    std::atomic<int> calls{0};
    Acceptor acceptor(runner.loop());
    acceptor.SetNewConnectionCallback([&](Socket&&) { ++calls; });  // leaves it
    ASSERT_TRUE(acceptor.Listen("127.0.0.1", 0));
    runner.Start();
    TcpPeer peer;
    ASSERT_TRUE(peer.Connect(acceptor.Port()));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(calls.load(), 1);
}

TEST(AcceptorTest, WithoutCallbackConnectionsAreClosed) {
    LoopRunner runner;
    Acceptor acceptor(runner.loop());
    ASSERT_TRUE(acceptor.Listen("127.0.0.1", 0));
    runner.Start();
    TcpPeer peer;
    ASSERT_TRUE(peer.Connect(acceptor.Port()));
    EXPECT_TRUE(peer.WaitClosed());
}

}  // namespace
}  // namespace media_socket
