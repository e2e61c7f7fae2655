#include "dep/QtComponent/media-socket/guid-string.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace media_socket {
namespace {

TEST(GuidStringTest, BracedUpperCaseExceptTheThirdGroup) {
    const std::regex form(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9a-f]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string g = NewGuidString();
        EXPECT_EQ(g.size(), 38u);
        EXPECT_TRUE(std::regex_match(g, form)) << g;
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace media_socket
