#include "dep/QtComponent/media-socket/announcer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "dep/QtComponent/media-socket/inet-address.h"
#include "dep/QtComponent/media-socket/socket.h"
#include "dep/QtComponent/media-socket/zusp-server.h"
#include "tests/support/test-host.h"

namespace media_socket {
namespace {

constexpr uint16_t kAnnouncePort = 5008;

// Receives announcements on 127.0.0.1:5008 (private network namespace).
class Receiver {
public:
    Receiver() : socket_(platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp) {
        socket_.SetReuseAddr(true);
        EXPECT_TRUE(socket_.Bind(InetAddress("127.0.0.1", kAnnouncePort)));
    }
    // One datagram within timeoutMs; false on time-out.
    bool Receive(std::string* text, uint16_t* from_port, int timeoutMs) {
        char buf[2048];
        platform::SocketSetRecvTimeout(socket_.Fd(), timeoutMs);
        int n = platform::SocketRecvFromV4(socket_.Fd(), buf, sizeof(buf), nullptr, from_port);
        if (n < 0)
            return false;
        text->assign(buf, static_cast<size_t>(n));
        return true;
    }

private:
    Socket socket_;
};

TEST(AnnouncerTest, TextListsIpNamePortInKeyOrder) {
    EXPECT_EQ(Announcer::AnnouncementText("Desk \"1\"", 10080, 0xC0A80105u),
              "{\"ip\":\"192.168.1.5\",\"name\":\"Desk \\\"1\\\"\",\"port\":10080}\n");
}

TEST(AnnouncerTest, ConfigureSkipsTextsThatAreNoIpv4Address) {
    Announcer a;
    a.Configure("n", {"10.0.0.7", "::1", "host", "", "127.0.0.1"}, kAnnouncePort);
    EXPECT_EQ(a.Addresses(), (std::vector<uint32_t>{0x0A000007u, 0x7F000001u}));
    EXPECT_EQ(a.Port(), kAnnouncePort);
    a.Clear();
    EXPECT_TRUE(a.Addresses().empty());
    EXPECT_EQ(a.Port(), 0);
}

TEST(AnnouncerTest, SweepReachesTheLoopbackHostFromAnnouncePortPlusOne) {
    Receiver rx;
    Announcer a;
    a.Configure("Studio", {"127.0.0.1"}, kAnnouncePort);
    a.Tick(10080);
    std::string text;
    uint16_t from = 0;
    ASSERT_TRUE(rx.Receive(&text, &from, 1000));
    EXPECT_EQ(text, "{\"ip\":\"127.0.0.1\",\"name\":\"Studio\",\"port\":10080}\n");
    EXPECT_EQ(from, kAnnouncePort + 1);
    // Only 127.0.0.1 is bound here: one datagram per round.
    EXPECT_FALSE(rx.Receive(&text, &from, 100));
}

TEST(AnnouncerTest, ServerAnnouncesOnceASecondUntilStopped) {
    zutest::TestHost host;
    Receiver rx;
    ZuSPServer server;
    ASSERT_TRUE(server.Start(10080));
    server.StartAnnounce("Desk", {"127.0.0.1", "bogus"}, kAnnouncePort);
    std::string text;
    uint16_t from = 0;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(rx.Receive(&text, &from, 2000));
    ASSERT_TRUE(rx.Receive(&text, &from, 2000));
    auto gap = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(text, "{\"ip\":\"127.0.0.1\",\"name\":\"Desk\",\"port\":10080}\n");
    EXPECT_GE(gap, std::chrono::milliseconds(1500));  // two rounds, a second apart
    // Announcing again replaces the name.
    server.StartAnnounce("Renamed", {"127.0.0.1"}, kAnnouncePort);
    ASSERT_TRUE(rx.Receive(&text, &from, 2000));
    EXPECT_NE(text.find("Renamed"), std::string::npos);
    server.StopAnnounce();
    while (rx.Receive(&text, &from, 50)) {
    }  // one round may have been under way
    EXPECT_FALSE(rx.Receive(&text, &from, 1300));
}

}  // namespace
}  // namespace media_socket
