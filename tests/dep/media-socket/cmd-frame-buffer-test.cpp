#include "dep/QtComponent/media-socket/cmd-frame-buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dep/media-socket/test-peer.h"

namespace media_socket {
namespace {

using Status = CmdFrameBuffer::Status;

class CmdFrameBufferTest : public ::testing::Test {
protected:
    Status Feed(const std::string& bytes) {
        return frames_.Feed(bytes.data(), static_cast<int>(bytes.size()),
                            [this](const char* body, size_t len) {
                                bodies_.emplace_back(body, len);
                                return keep_going_;
                            });
    }

    CmdFrameBuffer frames_;
    std::vector<std::string> bodies_;
    bool keep_going_ = true;
};

TEST_F(CmdFrameBufferTest, FrameSplitTwoTenTwentyTwoCompletesWithTheLastPart) {
    std::string body(30, 'b');
    std::string frame = mstest::Frame(body);
    ASSERT_EQ(frame.size(), 34u);
    EXPECT_EQ(Feed(frame.substr(0, 2)), Status::kOk);
    EXPECT_EQ(Feed(frame.substr(2, 10)), Status::kOk);
    EXPECT_TRUE(bodies_.empty());
    EXPECT_EQ(Feed(frame.substr(12, 22)), Status::kOk);
    ASSERT_EQ(bodies_.size(), 1u);
    EXPECT_EQ(bodies_[0], body);
    EXPECT_EQ(frames_.Fill(), 0);
}

TEST_F(CmdFrameBufferTest, LengthIsCheckedOnlyOnceFourBytesAreThere) {
    EXPECT_EQ(Feed(std::string("\xff\xff", 2)), Status::kOk);
    EXPECT_EQ(frames_.Fill(), 2);
    EXPECT_EQ(Feed(std::string("\x00\x00", 2)), Status::kPacketTooLong);
}

TEST_F(CmdFrameBufferTest, BodyLongerThan4096IsRefusedAtOnce) {
    EXPECT_EQ(Feed(mstest::Be32(4097)), Status::kPacketTooLong);
    EXPECT_TRUE(bodies_.empty());
}

TEST_F(CmdFrameBufferTest, BodiesOf4093To4096CanNeverCompleteAndOverflowTheBuffer) {
    for (uint32_t len : {4093u, 4094u, 4095u, 4096u}) {
        CmdFrameBuffer frames;
        std::string head = mstest::Be32(len);
        std::string body(len, 'x');
        auto noop = [](const char*, size_t) { return true; };
        ASSERT_EQ(frames.Feed(head.data(), 4, noop), Status::kOk) << len;
        // 4092 body bytes fill the buffer exactly; the next byte overflows it.
        ASSERT_EQ(frames.Feed(body.data(), 4092, noop), Status::kOk) << len;
        EXPECT_EQ(frames.Feed(body.data(), 1, noop), Status::kBufferTooLong) << len;
    }
}

TEST_F(CmdFrameBufferTest, LargestCompletableBodyIs4092Bytes) {
    std::string body(4092, 'y');
    EXPECT_EQ(Feed(mstest::Frame(body)), Status::kOk);
    ASSERT_EQ(bodies_.size(), 1u);
    EXPECT_EQ(bodies_[0], body);
}

TEST_F(CmdFrameBufferTest, DeliveryLongerThanTheBufferIsRefused) {
    EXPECT_EQ(Feed(std::string(4097, 'z')), Status::kBufferTooLong);
    EXPECT_EQ(Feed("ab"), Status::kOk);
    EXPECT_EQ(Feed(std::string(4095, 'z')), Status::kBufferTooLong);
}

TEST_F(CmdFrameBufferTest, EveryCompleteFrameOfADeliveryIsTakenInOrder) {
    std::string bytes = mstest::Frame("one") + mstest::Frame("") + mstest::Frame("three") +
                        mstest::Frame("four").substr(0, 6);
    EXPECT_EQ(Feed(bytes), Status::kOk);
    EXPECT_EQ(bodies_, (std::vector<std::string>{"one", "", "three"}));
    EXPECT_EQ(frames_.Fill(), 6);
    EXPECT_EQ(Feed("ur"), Status::kOk);
    EXPECT_EQ(bodies_.back(), "four");
    EXPECT_EQ(frames_.Fill(), 0);
}

TEST_F(CmdFrameBufferTest, HandlerRefusalStopsTakingFrames) {
    keep_going_ = false;
    EXPECT_EQ(Feed(mstest::Frame("a") + mstest::Frame("b") + mstest::Be32(9999)), Status::kOk);
    EXPECT_EQ(bodies_, (std::vector<std::string>{"a"}));
}

TEST_F(CmdFrameBufferTest, OverLongFrameAfterGoodOnesIsReportedAfterThem) {
    EXPECT_EQ(Feed(mstest::Frame("ok") + mstest::Be32(5000)), Status::kPacketTooLong);
    EXPECT_EQ(bodies_, (std::vector<std::string>{"ok"}));
}

TEST_F(CmdFrameBufferTest, ClearDropsAPartialFrame) {
    EXPECT_EQ(Feed(mstest::Frame("partial").substr(0, 7)), Status::kOk);
    frames_.Clear();
    EXPECT_EQ(Feed(mstest::Frame("fresh")), Status::kOk);
    EXPECT_EQ(bodies_, (std::vector<std::string>{"fresh"}));
}

}  // namespace
}  // namespace media_socket
