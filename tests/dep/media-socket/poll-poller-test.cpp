#include "dep/QtComponent/media-socket/poll-poller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/acceptor.h"
#include "dep/QtComponent/media-socket/channel.h"
#include "dep/QtComponent/media-socket/inet-address.h"
#include "dep/QtComponent/media-socket/socket.h"

namespace media_socket {
namespace {

// A connected loopback pair: `client` and the accepted `server` side.
struct TcpPair {
    Socket listener{platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp};
    Socket client{platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp};
    Socket server;
    TcpPair() {
        EXPECT_TRUE(listener.Bind(InetAddress("127.0.0.1", 0)));
        EXPECT_TRUE(listener.Listen(4));
        EXPECT_TRUE(client.Connect(InetAddress("127.0.0.1", listener.LocalPort())));
        server = listener.Accept();
        EXPECT_TRUE(server.IsValid());
    }
};

TEST(PollPollerTest, MapKeepsOneEntryPerHandle) {
    PollPoller poller;
    Channel a(nullptr, 5), b(nullptr, 5), c(nullptr, 6);
    poller.AddChannel(&a);
    poller.AddChannel(&a);
    poller.AddChannel(&b);  // same handle: the first entry stays
    poller.AddChannel(&c);
    EXPECT_EQ(poller.Size(), 2u);
    EXPECT_TRUE(poller.HasChannel(&a));
    EXPECT_FALSE(poller.HasChannel(&b));
    poller.RemoveChannel(&b);  // names handle 5 but not this channel
    EXPECT_TRUE(poller.HasChannel(&a));
    poller.RemoveChannel(&a);
    poller.RemoveChannel(&a);
    EXPECT_EQ(poller.Size(), 1u);
}

TEST(PollPollerTest, EmptyOrUnpollableSetSleepsForTheTimeout) {
    PollPoller poller;
    Channel no_handle(nullptr, -1);
    no_handle.SetInterest(Channel::kReadEvent);
    poller.AddChannel(&no_handle);
    std::vector<Channel*> active;
    auto start = std::chrono::steady_clock::now();
    poller.Poll(20, active);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(active.empty());
    EXPECT_GE(took, std::chrono::milliseconds(15));
}

TEST(PollPollerTest, ReadableAndWritableBitsComeBack) {
    TcpPair pair;
    PollPoller poller;
    Channel channel(nullptr, pair.server.Fd());
    channel.SetInterest(Channel::kReadEvent | Channel::kWriteEvent);
    poller.AddChannel(&channel);
    std::vector<Channel*> active;
    poller.Poll(100, active);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(channel.Returned(), Channel::kWriteEvent);

    ASSERT_EQ(pair.client.Send("hi", 2), 2);
    active.clear();
    poller.Poll(100, active);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(channel.Returned(), Channel::kReadEvent | Channel::kWriteEvent);
}

TEST(PollPollerTest, HangUpWithPendingDataRunsReadBeforeClose) {
    TcpPair pair;
    ASSERT_EQ(pair.client.Send("last", 4), 4);
    pair.client.Close();
    // Both directions shut: the poll reports a hang-up besides the data.
    platform::SocketShutdown(pair.server.Fd(), platform::kShutWrite);

    PollPoller poller;
    Channel channel(nullptr, pair.server.Fd());
    channel.SetInterest(Channel::kReadEvent);
    std::string order;
    channel.SetReadCallback([&] {
        char buf[16];
        int n = pair.server.Recv(buf, sizeof(buf), 0);
        order += "read:" + std::to_string(n) + ";";
    });
    channel.SetCloseCallback([&] { order += "close;"; });
    poller.AddChannel(&channel);
    std::vector<Channel*> active;
    poller.Poll(100, active);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(channel.Returned(), Channel::kReadEvent | Channel::kCloseEvent);
    active[0]->HandleEvent();
    EXPECT_EQ(order, "read:4;close;");
}

}  // namespace
}  // namespace media_socket
