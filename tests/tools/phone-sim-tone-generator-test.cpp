#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/phone-sim/tone-generator.h"

namespace phonesim {
namespace {

std::vector<int16_t> Samples(const std::string& pcm) {
    std::vector<int16_t> s;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        auto lo = static_cast<unsigned char>(pcm[i]);
        auto hi = static_cast<unsigned char>(pcm[i + 1]);
        s.push_back(static_cast<int16_t>(static_cast<uint16_t>(lo | hi << 8)));
    }
    return s;
}

// Upward zero crossings of channel `c` of `channels`.
int UpCrossings(const std::vector<int16_t>& s, unsigned channels, unsigned c) {
    int n = 0;
    for (size_t i = c + channels; i < s.size(); i += channels) {
        if (s[i - channels] < 0 && s[i] >= 0)
            ++n;
    }
    return n;
}

TEST(PhoneSimToneGenerator, FrequencyLevelAndChannels) {
    ToneGenerator tone(1000, 48000, 2, -6);
    std::string pcm;
    ASSERT_EQ(tone.Read(48000, &pcm), 48000u);
    ASSERT_EQ(pcm.size(), 48000u * 2 * 2);
    auto s = Samples(pcm);
    // One second of 1 kHz: 1000 upward crossings, give or take the edges.
    EXPECT_NEAR(UpCrossings(s, 2, 0), 1000, 1);
    int peak = 0;
    for (size_t i = 0; i < s.size(); i += 2) {
        EXPECT_EQ(s[i], s[i + 1]);
        peak = std::max(peak, std::abs(int(s[i])));
    }
    // -6 dBFS: half of full scale (32767 * 0.501 = 16422).
    EXPECT_NEAR(peak, 16422, 2);
    EXPECT_NEAR(tone.peak(), 16422, 1);
}

TEST(PhoneSimToneGenerator, FullScaleNeverWrapsAround) {
    ToneGenerator tone(997, 44100, 1, 0);
    std::string pcm;
    tone.Read(44100, &pcm);
    auto s = Samples(pcm);
    int16_t lo = 0, hi = 0;
    for (int16_t v : s) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GE(hi, 32760);
    EXPECT_LE(lo, -32760);
    EXPECT_GE(lo, -32767);
}

TEST(PhoneSimToneGenerator, BlocksJoinWithoutAPhaseJump) {
    ToneGenerator whole(440, 8000, 1, -12);
    ToneGenerator pieces(440, 8000, 1, -12);
    std::string all, part, joined;
    whole.Read(1000, &all);
    for (int i = 0; i < 10; ++i) {
        pieces.Read(100, &part);
        joined += part;
    }
    EXPECT_EQ(joined, all);
    pieces.Rewind();
    pieces.Read(1000, &part);
    EXPECT_EQ(part, all);
}

}  // namespace
}  // namespace phonesim
