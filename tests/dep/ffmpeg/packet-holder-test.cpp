#include "dep/QtComponent/ffmpeg/packet-holder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

TEST(PacketHolderTest, CopyAndJoinLayOutTheBytes) {
    const uint8_t config[] = {0, 0, 0, 1, 0x67, 0x42};
    const uint8_t picture[] = {0, 0, 0, 1, 0x65, 0x88, 0x84};
    PacketHolder head = PacketHolder::Copy(config, sizeof(config));
    ASSERT_EQ(head.size(), 6);
    EXPECT_EQ(std::memcmp(head.data(), config, sizeof(config)), 0);

    PacketHolder joined = PacketHolder::Join(head, picture, sizeof(picture));
    ASSERT_EQ(joined.size(), 13);
    EXPECT_EQ(std::memcmp(joined.data(), config, 6), 0);
    EXPECT_EQ(std::memcmp(joined.data() + 6, picture, 7), 0);
    // FFmpeg's readers may look past the end: the padding is there and zero.
    for (int i = 0; i < AV_INPUT_BUFFER_PADDING_SIZE; ++i)
        EXPECT_EQ(joined.data()[13 + i], 0);

    PacketHolder noHead = PacketHolder::Join(PacketHolder(), picture, sizeof(picture));
    EXPECT_EQ(noHead.size(), 7);
    EXPECT_EQ(head.size(), 6);  // the head is left as it was
}

TEST(PacketHolderTest, ImpossibleSizesGiveAnEmptyHolder) {
    const uint8_t byte = 1;
    EXPECT_TRUE(PacketHolder::Copy(&byte, static_cast<size_t>(INT_MAX)).empty());
    EXPECT_TRUE(PacketHolder::Copy(&byte, static_cast<size_t>(-1)).empty());
    PacketHolder head = PacketHolder::Copy(&byte, 1);
    EXPECT_TRUE(PacketHolder::Join(head, &byte, static_cast<size_t>(INT_MAX) - 1).empty());
    // No bytes to copy from.
    EXPECT_TRUE(PacketHolder::Copy(nullptr, 16).empty());
    PacketHolder none = PacketHolder::Copy(nullptr, 0);
    EXPECT_EQ(none.size(), 0);
}

TEST(PacketHolderTest, KeyFlagIsBitOne) {
    const uint8_t b[] = {0, 0, 0, 1, 0x41};
    PacketHolder p = PacketHolder::Copy(b, sizeof(b));
    EXPECT_FALSE(p.isKey());
    p.get()->flags = AV_PKT_FLAG_CORRUPT;
    EXPECT_FALSE(p.isKey());
    p.get()->flags |= AV_PKT_FLAG_KEY;
    EXPECT_TRUE(p.isKey());
    EXPECT_FALSE(PacketHolder().isKey());
}

TEST(PacketHolderTest, CopiesAreIndependentHolders) {
    const uint8_t b[] = {1, 2, 3, 4, 5};
    PacketHolder a = PacketHolder::Copy(b, sizeof(b));
    a.get()->flags |= AV_PKT_FLAG_KEY;
    a.get()->pts = 42;
    PacketHolder c(a);
    EXPECT_NE(c.get(), a.get());
    EXPECT_EQ(c.size(), 5);
    EXPECT_TRUE(c.isKey());
    EXPECT_EQ(c.get()->pts, 42);
    a.reset();
    EXPECT_EQ(c.data()[4], 5);  // still readable after the original went

    PacketHolder d;
    d = c;
    d = d;
    EXPECT_EQ(d.size(), 5);
    PacketHolder e(std::move(d));
    EXPECT_TRUE(d.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(e.size(), 5);
    PacketHolder f;
    f.swap(e);
    EXPECT_TRUE(e.empty());
    EXPECT_EQ(f.data()[0], 1);
    EXPECT_EQ(PacketHolder().data(), nullptr);
    EXPECT_EQ(PacketHolder().size(), 0);
}

}  // namespace
