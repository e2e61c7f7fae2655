#include <gtest/gtest.h>

#include <string>

#include "tools/phone-sim/packet-builder.h"

namespace phonesim {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(PhoneSimPacketBuilder, TokenIsTypeZeroWithoutExpansion) {
    std::string packet;
    ASSERT_TRUE(PacketBuilder::Token("{AB}", &packet));
    EXPECT_EQ(packet, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}) + "{AB}");
}

TEST(PhoneSimPacketBuilder, VideoCarriesMediaKindAndFrameKind) {
    std::string packet;
    const std::string payload = Bytes({0, 0, 0, 1, 0x67, 0x42});
    ASSERT_TRUE(PacketBuilder::Video(kFrameConfig, payload.data(), payload.size(), &packet));
    EXPECT_EQ(packet, Bytes({0, 0, 0, 1,  // T video
                             0, 0, 0, 8,  // E
                             0, 0, 0, 1,  // media kind video
                             0, 0, 0, 2,  // frame kind: configuration
                             0, 0, 0, 6}) +
                          payload);
    EXPECT_EQ(packet.size(), PacketBuilder::kVideoHeader + payload.size());
}

TEST(PhoneSimPacketBuilder, AudioCarriesRateChannelsAndBits) {
    std::string packet;
    std::string pcm(3840, '\x11');
    ASSERT_TRUE(PacketBuilder::Audio(48000, 2, pcm.data(), pcm.size(), &packet));
    EXPECT_EQ(packet.substr(0, PacketBuilder::kAudioHeader),
              Bytes({0, 0, 0,    2,        // T audio
                     0, 0, 0,    16,       // E
                     0, 0, 0,    2,        // media kind audio
                     0, 0, 0xBB, 0x80,     // 48000
                     0, 0, 0,    2,        // channels
                     0, 0, 0,    16,       // bits
                     0, 0, 0x0F, 0x00}));  // N = 3840
    EXPECT_EQ(packet.substr(PacketBuilder::kAudioHeader), pcm);
}

TEST(PhoneSimPacketBuilder, EmptyPayloadAndReuseOfTheBuffer) {
    std::string packet(100, 'x');
    ASSERT_TRUE(PacketBuilder::Video(kFrameKey, nullptr, 0, &packet));
    EXPECT_EQ(packet.size(), PacketBuilder::kVideoHeader);
    EXPECT_EQ(PacketBuilder::GetU32(&packet[16]), 0u);
    EXPECT_EQ(PacketBuilder::GetU32(&packet[12]), 1u);
}

TEST(PhoneSimPacketBuilder, RefusesPacketsTheDesktopCannotHold) {
    // Header + payload must fit 64 MiB: a payload of exactly 64 MiB - 20 fits, one more does not.
    std::string big(kMaxPacketBytes - PacketBuilder::kVideoHeader + 1, '\0');
    std::string packet = "stale";
    EXPECT_FALSE(PacketBuilder::Video(kFramePicture, big.data(), big.size(), &packet));
    EXPECT_TRUE(packet.empty());
    big.pop_back();
    EXPECT_TRUE(PacketBuilder::Video(kFramePicture, big.data(), big.size(), &packet));
    EXPECT_EQ(packet.size(), kMaxPacketBytes);
}

TEST(PhoneSimPacketBuilder, BigEndianHelpersRoundTrip) {
    char b[4];
    for (uint32_t v : {0u, 1u, 0x01020304u, 0xFFFFFFFFu, 0x80000000u}) {
        PacketBuilder::PutU32(v, b);
        EXPECT_EQ(PacketBuilder::GetU32(b), v);
    }
    PacketBuilder::PutU32(0x01020304u, b);
    EXPECT_EQ(std::string(b, 4), Bytes({1, 2, 3, 4}));
}

}  // namespace
}  // namespace phonesim
