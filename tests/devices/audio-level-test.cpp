#include "devices/audio-level.h"

#include <gtest/gtest.h>

#include <vector>

TEST(AudioLevel, FullScaleSilenceAndMinusFortyDecibels) {
    EXPECT_EQ(AudioLevelFromPeak(32767), 10);
    EXPECT_EQ(AudioLevelFromPeak(0), 0);
    // 328 / 32767 is -39.99 dB: (60 - 39.99) * 10 / 60 = 3.33, truncated.
    EXPECT_EQ(AudioLevelFromPeak(328), 3);
}

TEST(AudioLevel, ClampsBelowSixtyDecibelsAndAboveFullScale) {
    EXPECT_EQ(AudioLevelFromPeak(1), 0);   // -90 dB
    EXPECT_EQ(AudioLevelFromPeak(32), 0);  // -60.2 dB
    EXPECT_EQ(AudioLevelFromPeak(32768), 10);
    EXPECT_EQ(AudioLevelFromPeak(-5), 0);
}

TEST(AudioLevel, StepsEverySixDecibelsAndNeverGoesBack) {
    // Level k starts at -60 + 6k dB: 32767 * 10^((6k - 60) / 20).
    EXPECT_EQ(AudioLevelFromPeak(65), 0);     // -54.04 dB
    EXPECT_EQ(AudioLevelFromPeak(66), 1);     // -53.90 dB
    EXPECT_EQ(AudioLevelFromPeak(16422), 8);  // -6.0003 dB
    EXPECT_EQ(AudioLevelFromPeak(16423), 9);  // -5.9998 dB
    EXPECT_EQ(AudioLevelFromPeak(32766), 9);  // only full scale reaches 10
    int previous = 0;
    std::vector<bool> seen(11, false);
    for (int peak = 0; peak <= 32767; ++peak) {
        int level = AudioLevelFromPeak(peak);
        ASSERT_GE(level, previous) << "peak " << peak;
        ASSERT_LE(level, 10);
        seen[level] = true;
        previous = level;
    }
    for (int level = 0; level <= 10; ++level)
        EXPECT_TRUE(seen[level]) << level;
}

TEST(AudioLevel, BlockUsesTheLargestMagnitudeOfEitherSign) {
    std::vector<int16_t> block(1920, 0);
    EXPECT_EQ(AudioLevelOfBlock(block.data(), block.size()), 0);
    block[700] = 328;
    EXPECT_EQ(AudioLevelOfBlock(block.data(), block.size()), 3);
    block[1919] = -32768;  // its magnitude does not fit in int16_t
    EXPECT_EQ(AudioLevelOfBlock(block.data(), block.size()), 10);
    EXPECT_EQ(AudioLevelOfBlock(block.data(), 0), 0);
}
