#include "dep/QtComponent/media-socket/socket.h"

#include <gtest/gtest.h>

#include <utility>

#include "dep/QtComponent/media-socket/inet-address.h"

namespace media_socket {
namespace {

Socket Tcp() {
    return Socket(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp);
}

TEST(SocketTest, OwnsAndMovesItsHandle) {
    Socket a = Tcp();
    ASSERT_TRUE(a.IsValid());
    int fd = a.Fd();
    Socket b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.Fd(), fd);
    EXPECT_TRUE(b.Create(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp));
    EXPECT_EQ(b.Fd(), fd);  // already held: unchanged
    EXPECT_EQ(b.Close(), 0);
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(b.Close(), -1);
    b.Close(platform::kShutBoth);  // nothing held: no effect
    EXPECT_TRUE(b.Create(platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp));
    EXPECT_TRUE(b.IsValid());
}

TEST(SocketTest, BindFailsForInvalidAddressAndTakenPort) {
    Socket a = Tcp();
    EXPECT_FALSE(a.Bind(InetAddress("::1", 0)));
    ASSERT_TRUE(a.Bind(InetAddress("127.0.0.1", 0)));
    ASSERT_TRUE(a.Listen(platform::kMaxListenBacklog));
    uint16_t port = a.LocalPort();
    EXPECT_NE(port, 0);
    Socket b = Tcp();
    b.SetReuseAddr(true);
    EXPECT_FALSE(b.Bind(InetAddress("127.0.0.1", port)));
}

TEST(SocketTest, AcceptOnNonBlockingListenerWithoutPeerIsInvalid) {
    Socket a = Tcp();
    ASSERT_TRUE(a.Bind(InetAddress("127.0.0.1", 0)));
    ASSERT_TRUE(a.Listen(4));
    ASSERT_TRUE(a.SetNonBlocking(true));
    EXPECT_FALSE(a.Accept().IsValid());
}

TEST(SocketTest, SendToPeerThatVanishedReturnsErrorInsteadOfKilling) {
    Socket listener = Tcp();
    ASSERT_TRUE(listener.Bind(InetAddress("127.0.0.1", 0)));
    ASSERT_TRUE(listener.Listen(4));
    Socket client = Tcp();
    ASSERT_TRUE(client.Connect(InetAddress("127.0.0.1", listener.LocalPort())));
    Socket server = listener.Accept();
    ASSERT_TRUE(server.IsValid());
    server.Close();
    // The first send may still succeed; a later one meets the reset. With
    // SIGPIPE the process would die here.
    int result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i)
        result = client.Send("0123456789", 10);
    EXPECT_LT(result, 0);
}

TEST(SocketTest, DatagramsReachALoopbackReceiver) {
    Socket rx(platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp);
    ASSERT_TRUE(rx.Bind(InetAddress("127.0.0.1", 0)));
    Socket tx(platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp);
    tx.SendTo("hello", 5, InetAddress("127.0.0.1", rx.LocalPort()));
    tx.SendTo("never", 5, InetAddress("not an address", rx.LocalPort()));
    char buf[16];
    platform::SocketSetRecvTimeout(rx.Fd(), 1000);
    ASSERT_EQ(rx.Recv(buf, sizeof(buf), 0), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_LT(rx.Recv(buf, sizeof(buf), platform::kRecvDontWait), 0);
}

}  // namespace
}  // namespace media_socket
