#include "dep/QtComponent/media-socket/stream-packet-assembler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/dep/media-socket/test-peer.h"
#include "tests/support/test-host.h"

namespace media_socket {
namespace {

using Result = StreamPacketAssembler::Result;
using mstest::AudioPacket;
using mstest::Be32;
using mstest::Packet;
using mstest::TokenPacket;
using mstest::VideoPacket;

// Enough for the packets of these tests; saves reserving 64 MiB per case.
constexpr size_t kSmall = 1 << 20;

// One callback as the owner saw it.
struct Event {
    char kind;  // 'v' video, 'a' audio, 't' token
    std::string payload;
    std::vector<unsigned> numbers;
    bool operator==(const Event& o) const {
        return kind == o.kind && payload == o.payload && numbers == o.numbers;
    }
};

class StreamPacketAssemblerTest : public ::testing::Test {
protected:
    explicit StreamPacketAssemblerTest(size_t capacity = StreamPacketAssembler::kBufferSize)
        : assembler_(capacity) {
        Wire(assembler_, &events_);
        host_.clear();
    }

    void Wire(StreamPacketAssembler& a, std::vector<Event>* out) {
        a.SetVideoCallback([out](const char* d, unsigned n, unsigned kind) {
            out->push_back({'v', std::string(d, n), {kind}});
        });
        a.SetAudioCallback(
            [out](const char* d, unsigned n, unsigned rate, unsigned ch, unsigned bits) {
                out->push_back({'a', std::string(d, n), {rate, ch, bits}});
            });
        a.SetTokenCallback([this, out](const char* d, unsigned n) {
            out->push_back({'t', std::string(d, n), {}});
            return std::string(d, n) == token_;
        });
    }

    Result Feed(const std::string& bytes) { return assembler_.Feed(bytes.data(), bytes.size()); }

    zutest::TestHost host_;
    StreamPacketAssembler assembler_;
    std::vector<Event> events_;
    std::string token_ = "{KEY}";
};

TEST_F(StreamPacketAssemblerTest, VideoPacketReachesCallbackWithFrameKind) {
    std::string payload = mstest::Pattern(1000);
    EXPECT_EQ(Feed(VideoPacket(2, payload)), Result::kOk);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0], (Event{'v', payload, {2}}));
    EXPECT_EQ(assembler_.Fill(), 0u);
}

TEST_F(StreamPacketAssemblerTest, AudioPacketReachesCallbackWithItsFormat) {
    std::string payload = mstest::Pattern(3840, 1);
    EXPECT_EQ(Feed(AudioPacket(48000, 2, 16, payload)), Result::kOk);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0], (Event{'a', payload, {48000, 2, 16}}));
}

TEST_F(StreamPacketAssemblerTest, ShortExpansionsAreSkippedNotDelivered) {
    // E = 4: a media kind but no frame kind; media kind that does not match;
    // audio with E = 12. All consumed, none delivered, the stream goes on.
    std::string bytes = Packet(1, {1}, "v4") + Packet(1, {2, 0}, "wrongkind") +
                        Packet(2, {2, 44100, 1}, "a12") + Packet(2, {1, 1, 1, 16}, "kind1") +
                        VideoPacket(0, "next");
    EXPECT_EQ(Feed(bytes), Result::kOk);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0], (Event{'v', "next", {0}}));
}

TEST_F(StreamPacketAssemblerTest, ExtraExpansionWordsAreSkippedWithThePacket) {
    EXPECT_EQ(Feed(Packet(1, {1, 5, 77, 88, 99}, "x") + Packet(2, {2, 8000, 1, 16, 5}, "y")),
              Result::kOk);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0], (Event{'v', "x", {5}}));
    EXPECT_EQ(events_[1], (Event{'a', "y", {8000, 1, 16}}));
}

TEST_F(StreamPacketAssemblerTest, VideoWithoutExpansionFailsTheStream) {
    for (uint32_t e : {0u, 1u, 2u, 3u}) {
        assembler_.Reset();
        std::string bytes = Be32(1) + Be32(e) + std::string(e, '\0') + Be32(1) + "z";
        EXPECT_EQ(Feed(bytes), Result::kError) << e;
    }
    EXPECT_EQ(host_.count("video packet, expand_len is 0!"), 4);
    EXPECT_TRUE(events_.empty());
}

TEST_F(StreamPacketAssemblerTest, AudioWithoutExpansionFailsTheStream) {
    EXPECT_EQ(Feed(Packet(2, {}, "pcm")), Result::kError);
    EXPECT_TRUE(host_.contains("audio packet, expand_len is 0!"));
}

TEST_F(StreamPacketAssemblerTest, UnknownTypeFailsWithoutALogLine) {
    EXPECT_EQ(Feed(VideoPacket(1, "a") + Packet(3, {}, "x") + VideoPacket(1, "b")), Result::kError);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].payload, "a");
    EXPECT_TRUE(host_.lines().empty());
}

TEST_F(StreamPacketAssemblerTest, AudioWithZeroChannelsIsDropped) {
    EXPECT_EQ(Feed(AudioPacket(48000, 0, 16, "bad") + AudioPacket(48000, 0, 16, "bad") +
                   AudioPacket(48000, 1, 16, "good")),
              Result::kOk);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].payload, "good");
    EXPECT_EQ(host_.count("0 channels"), 1);  // warned once, not per packet
}

TEST_F(StreamPacketAssemblerTest, TokenCallbackDecides) {
    EXPECT_EQ(Feed(TokenPacket("{KEY}") + VideoPacket(1, "after")), Result::kOk);
    EXPECT_EQ(events_.size(), 2u);
    EXPECT_EQ(Feed(TokenPacket("{KEY}x") + VideoPacket(1, "never")), Result::kError);
    EXPECT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_.back().kind, 't');
}

TEST_F(StreamPacketAssemblerTest, FailedStreamRefusesInputUntilReset) {
    EXPECT_EQ(Feed(Packet(9, {}, "")), Result::kError);
    EXPECT_TRUE(assembler_.Failed());
    EXPECT_EQ(Feed(VideoPacket(1, "ignored")), Result::kError);
    EXPECT_TRUE(events_.empty());
    assembler_.Reset();
    EXPECT_EQ(Feed(VideoPacket(1, "taken")), Result::kOk);
    EXPECT_EQ(events_.size(), 1u);
}

TEST_F(StreamPacketAssemblerTest, DeclaredSizesBeyondTheBufferFail) {
    // N above 64 MiB.
    EXPECT_EQ(Feed(Be32(1) + Be32(8) + Be32(1) + Be32(0) + Be32(0xFFFFFFFFu)), Result::kError);
    // 12 + E + N wraps in 32 bits.
    assembler_.Reset();
    EXPECT_EQ(Feed(Be32(1) + Be32(8) + Be32(1) + Be32(0) + Be32(0xFFFFFFF0u)), Result::kError);
    // E alone beyond the buffer: known once 12 bytes are there.
    assembler_.Reset();
    EXPECT_EQ(Feed(Be32(1) + Be32(0xFFFFFFF8u) + Be32(0)), Result::kError);
    // N exactly 64 MiB: the packet is larger than the buffer.
    assembler_.Reset();
    EXPECT_EQ(
        Feed(Be32(1) + Be32(8) + Be32(1) + Be32(0) + Be32(StreamPacketAssembler::kBufferSize)),
        Result::kError);
    EXPECT_EQ(host_.count("stream packet need too long buffer"), 4);
}

TEST_F(StreamPacketAssemblerTest, HugeExpansionIsNotJudgedBeforeTwelveBytes) {
    EXPECT_EQ(Feed(Be32(1) + Be32(0xFFFFFFF8u)), Result::kOk);
    EXPECT_EQ(assembler_.Fill(), 8u);
    EXPECT_EQ(Feed("1234"), Result::kError);
}

TEST_F(StreamPacketAssemblerTest, AnySplitGivesTheSameCallbacks) {
    std::string stream = TokenPacket("{KEY}") + VideoPacket(2, mstest::Pattern(300)) +
                         AudioPacket(16000, 1, 16, mstest::Pattern(64, 2)) +
                         Packet(1, {1}, "dropped") + VideoPacket(1, "") +
                         VideoPacket(0, mstest::Pattern(1000, 5));
    std::vector<Event> whole;
    {
        StreamPacketAssembler a;
        Wire(a, &whole);
        ASSERT_EQ(a.Feed(stream.data(), stream.size()), Result::kOk);
    }
    ASSERT_EQ(whole.size(), 5u);
    // Every single cut point, then byte by byte, then random chunkings.
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        StreamPacketAssembler a(kSmall);
        std::vector<Event> got;
        Wire(a, &got);
        ASSERT_EQ(a.Feed(stream.data(), cut), Result::kOk);
        ASSERT_EQ(a.Feed(stream.data() + cut, stream.size() - cut), Result::kOk);
        ASSERT_EQ(got, whole) << "cut at " << cut;
        ASSERT_EQ(a.Fill(), 0u);
    }
    {
        StreamPacketAssembler a(kSmall);
        std::vector<Event> got;
        Wire(a, &got);
        for (char c : stream)
            ASSERT_EQ(a.Feed(&c, 1), Result::kOk);
        EXPECT_EQ(got, whole);
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        StreamPacketAssembler a(kSmall);
        std::vector<Event> got;
        Wire(a, &got);
        size_t pos = 0;
        while (pos < stream.size()) {
            size_t n = std::min<size_t>(rng() % 97, stream.size() - pos);
            ASSERT_EQ(a.Feed(stream.data() + pos, n), Result::kOk);
            pos += n;
        }
        ASSERT_EQ(got, whole) << "round " << round;
    }
}

TEST_F(StreamPacketAssemblerTest, ThousandsOfPacketsInOneDeliveryAreAllTaken) {
    std::string bytes;
    for (unsigned i = 0; i < 2000; ++i)
        bytes += AudioPacket(48000, 2, 16, mstest::Pattern(3840, i));
    bytes += AudioPacket(48000, 2, 16, "tail").substr(0, 20);
    EXPECT_EQ(Feed(bytes), Result::kOk);
    ASSERT_EQ(events_.size(), 2000u);
    EXPECT_EQ(events_[0].payload, mstest::Pattern(3840, 0));
    EXPECT_EQ(events_[1999].payload, mstest::Pattern(3840, 1999));
    EXPECT_EQ(assembler_.Fill(), 20u);
}

TEST_F(StreamPacketAssemblerTest, PacketStraddlingDeliveriesIsKeptUntilComplete) {
    std::string p = VideoPacket(1, mstest::Pattern(200000));
    std::string next = VideoPacket(0, "n");
    EXPECT_EQ(Feed(p.substr(0, 65536)), Result::kOk);
    EXPECT_EQ(assembler_.Fill(), 65536u);
    EXPECT_EQ(Feed(p.substr(65536, 65536)), Result::kOk);
    EXPECT_EQ(Feed(p.substr(131072) + next), Result::kOk);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0].payload, mstest::Pattern(200000));
    EXPECT_EQ(events_[1].payload, "n");
}

class SmallAssemblerTest : public StreamPacketAssemblerTest {
protected:
    SmallAssemblerTest() : StreamPacketAssemblerTest(64) {}
};

TEST_F(SmallAssemblerTest, PacketFillingTheWholeBufferFitsAndOneMoreByteDoesNot) {
    std::string fits = VideoPacket(1, std::string(64 - 20, 'f'));
    ASSERT_EQ(fits.size(), 64u);
    EXPECT_EQ(Feed(fits.substr(0, 30)), Result::kOk);
    EXPECT_EQ(Feed(fits.substr(30)), Result::kOk);
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_EQ(Feed(VideoPacket(1, std::string(64 - 19, 'g')).substr(0, 25)), Result::kError);
    EXPECT_TRUE(host_.contains("stream packet need too long buffer"));
}

}  // namespace
}  // namespace media_socket
