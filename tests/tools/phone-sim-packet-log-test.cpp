#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp-dir.h"
#include "tools/phone-sim/packet-log.h"

namespace phonesim {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PhoneSimPacketLog, Fnv1a64MatchesPublishedVectors) {
    EXPECT_EQ(Fnv1a64("", 0), 0xcbf29ce484222325ULL);
    EXPECT_EQ(Fnv1a64("a", 1), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(Fnv1a64("foobar", 6), 0x85944171f73967e8ULL);
    // Bytes above 0x7f must not be sign-extended.
    const char high[] = {'\xff'};
    EXPECT_EQ(Fnv1a64(high, 1), (0xcbf29ce484222325ULL ^ 0xffULL) * 0x100000001b3ULL);
}

TEST(PhoneSimPacketLog, LineFormats) {
    EXPECT_EQ(PacketLog::TokenLine("a", 1), "token len=1 fnv1a64=af63dc4c8601ec8c");
    EXPECT_EQ(PacketLog::VideoLine(2, "foobar", 6), "video kind=2 len=6 fnv1a64=85944171f73967e8");
    EXPECT_EQ(PacketLog::AudioLine(48000, 2, 16, "", 0),
              "audio rate=48000 channels=2 bits=16 len=0 fnv1a64=cbf29ce484222325");
}

TEST(PhoneSimPacketLog, WritesOneLinePerPacketInOrder) {
    zutest::TempDir dir;
    std::string error;
    {
        PacketLog log;
        ASSERT_TRUE(log.Open(dir.file("packets.log"), &error)) << error;
        EXPECT_TRUE(log.Token("a", 1));
        EXPECT_TRUE(log.Video(1, "foobar", 6));
        EXPECT_TRUE(log.Audio(8000, 1, 16, "a", 1));
        // Flushed per line: readable while the log is still open.
        EXPECT_EQ(ReadText(dir.file("packets.log")),
                  "token len=1 fnv1a64=af63dc4c8601ec8c\n"
                  "video kind=1 len=6 fnv1a64=85944171f73967e8\n"
                  "audio rate=8000 channels=1 bits=16 len=1 fnv1a64=af63dc4c8601ec8c\n");
    }
}

TEST(PhoneSimPacketLog, UnwritablePathIsAnError) {
    zutest::TempDir dir;
    PacketLog log;
    std::string error;
    EXPECT_FALSE(log.Open(dir.file("no/such/dir/packets.log"), &error));
    EXPECT_NE(error.find("packets.log"), std::string::npos);
}

}  // namespace
}  // namespace phonesim
