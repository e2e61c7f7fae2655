#include <gtest/gtest.h>

#include <string>

#include "tools/phone-sim/desktop-discovery.h"

namespace phonesim {
namespace {

TEST(PhoneSimDiscovery, ParsesTheDesktopsAnnouncement) {
    Announcement a;
    std::string error;
    ASSERT_TRUE(DesktopDiscovery::ParseAnnouncement(
        "{\"ip\":\"192.168.1.20\",\"name\":\"办公室\",\"port\":10080}\n", &a, &error))
        << error;
    EXPECT_EQ(a.ip, "192.168.1.20");
    EXPECT_EQ(a.name, "办公室");
    EXPECT_EQ(a.port, 10080);
    ASSERT_TRUE(DesktopDiscovery::ParseAnnouncement(R"({"ip":"10.0.0.1","port":1})", &a, &error));
    EXPECT_EQ(a.name, "");
}

TEST(PhoneSimDiscovery, RejectsDatagramsThatAreNoAnnouncement) {
    const std::pair<const char*, const char*> bad[] = {
        {"", "not JSON"},
        {"\x01\x02garbage", "not JSON"},
        {"[1]", "not a JSON object"},
        {R"({"name":"x","port":10080})", "\"ip\""},
        {R"({"ip":"300.1.1.1","port":10080})", "\"ip\""},
        {R"({"ip":"host.example","port":10080})", "\"ip\""},
        {R"({"ip":7,"port":10080})", "\"ip\""},
        {R"({"ip":"10.0.0.1"})", "\"port\""},
        {R"({"ip":"10.0.0.1","port":0})", "\"port\""},
        {R"({"ip":"10.0.0.1","port":65536})", "\"port\""},
        {R"({"ip":"10.0.0.1","port":"10080"})", "\"port\""},
        {R"({"ip":"10.0.0.1","port":10080,"name":3})", "\"name\""},
    };
    for (const auto& b : bad) {
        Announcement a;
        std::string error;
        EXPECT_FALSE(DesktopDiscovery::ParseAnnouncement(b.first, &a, &error)) << b.first;
        EXPECT_NE(error.find(b.second), std::string::npos) << b.first << ": " << error;
    }
}

}  // namespace
}  // namespace phonesim
