#include "web/web-link.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(WebLinkTest, SecretsAreWellFormedAndDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string s = WebLink::NewSecret();
        EXPECT_TRUE(WebLink::IsWellFormed(s)) << s;
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 50u);
    EXPECT_FALSE(WebLink::IsWellFormed(""));
    EXPECT_FALSE(WebLink::IsWellFormed(std::string(WebLink::kSecretLength, '/')));
    EXPECT_FALSE(WebLink::IsWellFormed(std::string(WebLink::kSecretLength + 1, 'a')));
}

TEST(WebLinkTest, SecretsCompareWhole) {
    const std::string s = WebLink::NewSecret();
    EXPECT_TRUE(WebLink::SecretsEqual(s, s));
    EXPECT_FALSE(WebLink::SecretsEqual(s, s.substr(0, s.size() - 1)));
    EXPECT_FALSE(WebLink::SecretsEqual(s.substr(0, s.size() - 1), s));
    EXPECT_FALSE(WebLink::SecretsEqual(s + "x", s));
    std::string other = s;
    other.back() = other.back() == 'a' ? 'b' : 'a';
    EXPECT_FALSE(WebLink::SecretsEqual(other, s));
    // An empty secret never opens anything, not even an empty guess.
    EXPECT_FALSE(WebLink::SecretsEqual("", ""));
}

TEST(WebLinkTest, LinksPerAddressThenThePlainLoopbackOne) {
    const auto urls = WebLink::Urls({"192.168.1.5", "10.0.0.2"}, 10090, "SECRET");
    ASSERT_EQ(urls.size(), 3u);
    EXPECT_EQ(urls[0], "https://192.168.1.5:10090/?k=SECRET");
    EXPECT_EQ(urls[1], "https://10.0.0.2:10090/?k=SECRET");
    EXPECT_EQ(urls[2], "http://localhost:10090/?k=SECRET");
}

}  // namespace
