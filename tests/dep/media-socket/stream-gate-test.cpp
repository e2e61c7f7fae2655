#include "dep/QtComponent/media-socket/stream-gate.h"

#include <gtest/gtest.h>

#include "tests/dep/media-socket/test-peer.h"

namespace media_socket {
namespace {

using mstest::Be32;
using mstest::Packet;
using mstest::TokenPacket;
using mstest::VideoPacket;
using Verdict = StreamGate::Verdict;

const std::string kToken = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";

Verdict JudgeText(const std::string& bytes, const std::string& token = kToken) {
    return StreamGate::Judge(bytes.data(), bytes.size(), token);
}

TEST(StreamGateJudge, TheRightTokenFirstIsAdmittedWhateverFollows) {
    EXPECT_EQ(JudgeText(TokenPacket(kToken)), Verdict::kAdmit);
    EXPECT_EQ(JudgeText(TokenPacket(kToken) + VideoPacket(1, "frame")), Verdict::kAdmit);
    // Header expansion of a token packet is skipped, as on the stream.
    EXPECT_EQ(JudgeText(Packet(0, {7, 8}, kToken)), Verdict::kAdmit);
}

TEST(StreamGateJudge, AnIncompleteTokenPacketWaits) {
    const std::string whole = TokenPacket(kToken);
    for (size_t n : {size_t(0), size_t(3), size_t(11), size_t(12), whole.size() - 1})
        EXPECT_EQ(JudgeText(whole.substr(0, n)), Verdict::kWait) << n;
}

TEST(StreamGateJudge, AnythingButTheCurrentTokenIsRefused) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string token;
    } cases[] = {
        {"video first", VideoPacket(1, "frame"), kToken},
        {"type seen in 4 bytes", Be32(2), kToken},
        {"garbage", std::string("GET / HTTP/1.1\r\n\r\n"), kToken},
        {"wrong key", TokenPacket("{00000000-0000-4000-8000-000000000000}"), kToken},
        {"key cut short", TokenPacket(kToken.substr(0, 10)), kToken},
        {"key too long", TokenPacket(kToken + "x"), kToken},
        {"no session token", TokenPacket(""), ""},
        {"any key without a session", TokenPacket(kToken), ""},
        {"huge expansion", Be32(0) + Be32(0xFFFFFFF0u) + std::string(8, '\0'), kToken},
        {"huge payload", Be32(0) + Be32(0) + Be32(0xFFFFFFFFu), kToken},
        {"payload past the limit",
         Be32(0) + Be32(0) + Be32(static_cast<uint32_t>(StreamGate::kMaxFirstPacket)), kToken},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeText(c.bytes, c.token), Verdict::kRefuse) << c.name;
}

}  // namespace
}  // namespace media_socket
