#include "devices/audio-staging-buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr size_t kCap = AudioStagingBuffer::kCapacity;

// Bytes numbered from `first`, so any slice can be checked for where it came from.
std::vector<uint8_t> Numbered(size_t size, size_t first) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((first + i) * 7 % 251);
    return bytes;
}

std::vector<uint8_t> Held(const AudioStagingBuffer& buffer) {
    return std::vector<uint8_t>(buffer.data(), buffer.data() + buffer.count());
}

}  // namespace

TEST(AudioStagingBuffer, AppendsWhatFits) {
    AudioStagingBuffer buffer;
    auto a = Numbered(3000, 0);
    auto b = Numbered(kCap - 3000, 3000);
    buffer.push(a.data(), a.size());
    buffer.push(b.data(), b.size());
    ASSERT_EQ(buffer.count(), kCap);
    EXPECT_EQ(Held(buffer), Numbered(kCap, 0));
}

TEST(AudioStagingBuffer, KeepsOnlyTheTailOfAPushLargerThanItself) {
    AudioStagingBuffer buffer;
    auto old = Numbered(1000, 90000);
    buffer.push(old.data(), old.size());
    // 500 ms of 48 kHz mono in one push: only the newest 200 ms remain.
    auto big = Numbered(48000, 0);
    buffer.push(big.data(), big.size());
    ASSERT_EQ(buffer.count(), kCap);
    EXPECT_EQ(Held(buffer), Numbered(kCap, 48000 - kCap));
}

TEST(AudioStagingBuffer, EvictsTheOldestBytesForAPartialOverflow) {
    AudioStagingBuffer buffer;
    auto first = Numbered(15000, 0);
    auto second = Numbered(8000, 15000);
    buffer.push(first.data(), first.size());
    buffer.push(second.data(), second.size());
    ASSERT_EQ(buffer.count(), kCap);
    // The oldest 3,800 bytes went; what is held runs on without a seam.
    EXPECT_EQ(Held(buffer), Numbered(kCap, 15000 + 8000 - kCap));
}

TEST(AudioStagingBuffer, TakesTheOldestAndMovesTheRestForward) {
    AudioStagingBuffer buffer;
    auto bytes = Numbered(5000, 0);
    buffer.push(bytes.data(), bytes.size());
    std::vector<uint8_t> out(3840, 0xEE);
    ASSERT_EQ(buffer.take(out.data(), out.size()), 3840u);
    EXPECT_EQ(out, Numbered(3840, 0));
    EXPECT_EQ(Held(buffer), Numbered(1160, 3840));
    // Less is held than asked for: only that much is written.
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_EQ(buffer.take(out.data(), out.size()), 1160u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 1160), Numbered(1160, 3840));
    EXPECT_EQ(out[1160], 0xEE);
    EXPECT_EQ(buffer.take(out.data(), out.size()), 0u);
    EXPECT_EQ(buffer.count(), 0u);
}
