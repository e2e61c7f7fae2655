#include "tools/zucam-camera/y4m-writer.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace {

// A picture in slot layout whose samples tell plane, row and column.
CameraPicture SlotPicture(uint32_t width, uint32_t height, uint32_t yRow, uint32_t uRow,
                          uint32_t vRow) {
    CameraPicture picture;
    picture.header = {width, height, yRow, uRow, vRow};
    picture.bytes.resize(VirtualCameraQueue::PictureBytes(height, yRow, uRow, vRow));
    size_t uOffset = size_t(height) * yRow;
    size_t vOffset = uOffset + (size_t(uRow) * height) / 2;
    for (size_t i = 0; i < picture.bytes.size(); ++i) {
        int plane = i < uOffset ? 0 : i < vOffset ? 1 : 2;
        picture.bytes[i] = static_cast<uint8_t>(plane * 80 + i % 61);
    }
    return picture;
}

TEST(Y4mWriter, EvenPictureIsCopiedAsItIs) {
    CameraPicture picture = SlotPicture(8, 4, 8, 4, 4);
    std::vector<uint8_t> frame;
    Y4mWriter::Pack(picture, &frame);
    EXPECT_EQ(frame, picture.bytes);
}

TEST(Y4mWriter, OddSizesRepeatTheLastChromaColumnAndRow) {
    // 5 x 3: the slot holds 2 x 1 chroma samples, Y4M wants 3 x 2.
    CameraPicture picture = SlotPicture(5, 3, 5, 2, 2);
    std::vector<uint8_t> frame;
    Y4mWriter::Pack(picture, &frame);
    ASSERT_EQ(frame.size(), 15u + 2 * 6);
    const uint8_t* b = picture.bytes.data();
    EXPECT_EQ(0, memcmp(frame.data(), b, 15));
    const uint8_t* u = b + 15;
    const uint8_t* v = b + 15 + (2 * 3) / 2;  // the U area is 3 bytes
    const uint8_t expectU[6] = {u[0], u[1], u[1], u[0], u[1], u[1]};
    const uint8_t expectV[6] = {v[0], v[1], v[1], v[0], v[1], v[1]};
    EXPECT_EQ(0, memcmp(frame.data() + 15, expectU, 6));
    EXPECT_EQ(0, memcmp(frame.data() + 21, expectV, 6));
}

TEST(Y4mWriter, MissingSamplesBecomeNeutral) {
    // One pixel wide and high: no chroma at all in the slot.
    CameraPicture tiny = SlotPicture(1, 1, 1, 0, 0);
    std::vector<uint8_t> frame;
    Y4mWriter::Pack(tiny, &frame);
    ASSERT_EQ(frame.size(), 3u);
    EXPECT_EQ(frame[0], tiny.bytes[0]);
    EXPECT_EQ(frame[1], 128);
    EXPECT_EQ(frame[2], 128);
    // Rows narrower than the picture repeat their last sample.
    CameraPicture narrow = SlotPicture(4, 2, 3, 2, 2);
    Y4mWriter::Pack(narrow, &frame);
    ASSERT_EQ(frame.size(), 8u + 2 * 2);
    EXPECT_EQ(frame[3], narrow.bytes[2]);
    EXPECT_EQ(frame[7], narrow.bytes[5]);
    // Fewer bytes than the header promises: a grey picture, no overread.
    CameraPicture truncated = SlotPicture(4, 2, 4, 2, 2);
    truncated.bytes.resize(5);
    Y4mWriter::Pack(truncated, &frame);
    ASSERT_EQ(frame.size(), 12u);
    EXPECT_EQ(frame[0], 16);
    EXPECT_EQ(frame[11], 128);
}

TEST(Y4mWriter, StreamHasOneHeaderAndRefusesAnotherSize) {
    zutest::TempDir dir;
    std::string path = dir.file("out.y4m");
    {
        Y4mWriter writer(25);
        std::string error;
        ASSERT_TRUE(writer.open(path, &error)) << error;
        CameraPicture a = SlotPicture(4, 2, 4, 2, 2);
        ASSERT_EQ(writer.write(a), Y4mWriter::Result::Ok);
        ASSERT_EQ(writer.write(a), Y4mWriter::Result::Ok);
        CameraPicture b = SlotPicture(2, 2, 2, 1, 1);
        EXPECT_EQ(writer.write(b), Y4mWriter::Result::SizeChanged);
        EXPECT_EQ(writer.width(), 4);
        EXPECT_TRUE(writer.close());
    }
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    const std::string header = "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg\n";
    ASSERT_EQ(text.size(), header.size() + 2 * (6 + 12));
    EXPECT_EQ(text.substr(0, header.size()), header);
    EXPECT_EQ(text.substr(header.size(), 6), "FRAME\n");
    EXPECT_EQ(text.substr(header.size() + 18, 6), "FRAME\n");
}

TEST(Y4mWriter, OutputThatCannotBeCreatedOrWritten) {
    zutest::TempDir dir;
    Y4mWriter writer;
    std::string error;
    EXPECT_FALSE(writer.open(dir.file("missing/out.y4m"), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    EXPECT_EQ(writer.write(SlotPicture(2, 2, 2, 1, 1)), Y4mWriter::Result::WriteFailed);
    // A full device fails the write instead of losing pictures silently.
    ASSERT_TRUE(writer.open("/dev/full", &error));
    EXPECT_EQ(writer.write(SlotPicture(2, 2, 2, 1, 1)), Y4mWriter::Result::WriteFailed);
    EXPECT_NE(writer.error().find("cannot write"), std::string::npos) << writer.error();
}

}  // namespace
