#include "dep/QtComponent/media-socket/inet-address.h"

#include <gtest/gtest.h>

namespace media_socket {
namespace {

TEST(InetAddressTest, DottedTextIsValid) {
    InetAddress a("192.168.1.20", 10080);
    EXPECT_TRUE(a.IsValid());
    EXPECT_EQ(a.Length(), 16);
    EXPECT_EQ(a.Ip(), 0xC0A80114u);
    EXPECT_EQ(a.Port(), 10080);
    EXPECT_EQ(a.ToIp(), "192.168.1.20");
}

TEST(InetAddressTest, HostOrderConstructorRoundTrips) {
    InetAddress a(0x7F000001u, 5008);
    EXPECT_TRUE(a.IsValid());
    EXPECT_EQ(a.ToIp(), "127.0.0.1");
    EXPECT_EQ(InetAddress(0u, 0).ToIp(), "0.0.0.0");
}

TEST(InetAddressTest, AnythingButDottedIpv4HasLengthZero) {
    for (const char* text : {"::1", "::ffff:127.0.0.1", "fe80::1", "localhost", "", "1.2.3",
                             "256.1.1.1", "1.2.3.4 ", "1.2.3.4:80", "01.2.3.4x"}) {
        InetAddress a(text, 80);
        EXPECT_FALSE(a.IsValid()) << text;
        EXPECT_EQ(a.Length(), 0) << text;
        EXPECT_EQ(a.Port(), 0) << text;
        EXPECT_EQ(a.ToIp(), "") << text;
    }
    EXPECT_FALSE(InetAddress(nullptr, 80).IsValid());
    EXPECT_FALSE(InetAddress().IsValid());
}

}  // namespace
}  // namespace media_socket
