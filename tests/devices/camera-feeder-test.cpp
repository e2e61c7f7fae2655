#include "devices/camera-feeder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "devices/virtual-camera-queue.h"
#include "platform/shared-memory.h"
#include "tests/support/camera-queue-reset.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace {

struct CropCase {
    int width, height;
    int cropWidth, cropHeight, x, y, chromaX, chromaY;
};

class CameraCropTest : public ::testing::TestWithParam<CropCase> {};

TEST_P(CameraCropTest, CentredCropOfTheRightAspect) {
    const CropCase& c = GetParam();
    CameraCrop crop = CameraFeeder::ComputeCrop(c.width, c.height);
    EXPECT_EQ(crop.width, c.cropWidth);
    EXPECT_EQ(crop.height, c.cropHeight);
    EXPECT_EQ(crop.x, c.x);
    EXPECT_EQ(crop.y, c.y);
    EXPECT_EQ(crop.chromaX, c.chromaX);
    EXPECT_EQ(crop.chromaY, c.chromaY);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CameraCropTest,
    ::testing::Values(
        // Written whole.
        CropCase{1920, 1080, 1920, 1080, 0, 0, 0, 0}, CropCase{1080, 1920, 1080, 1920, 0, 0, 0, 0},
        CropCase{720, 1280, 720, 1280, 0, 0, 0, 0},  // exactly 9:16
        CropCase{1280, 720, 1280, 720, 0, 0, 0, 0},  // 1280 / 1.7777778 rounds to 720
        // Larger than the camera: cropped, not scaled.
        CropCase{2560, 1440, 1920, 1080, 320, 180, 160, 90},
        CropCase{4000, 3000, 1920, 1080, 1040, 960, 520, 480},
        // Ultra-wide: height kept, 1777.78 rounds to 1778.
        CropCase{2400, 1000, 1778, 1000, 311, 0, 155, 0},
        // Ultra-tall: 1000 / 0.5625 = 1777.78 rounds to 1778.
        CropCase{1000, 3000, 1000, 1778, 0, 611, 0, 305},
        // Square counts as portrait; 562.5 rounds away from zero to 563.
        CropCase{1000, 1000, 563, 1000, 218, 0, 109, 0},
        // Odd sizes: offsets truncate, twice for chroma.
        CropCase{1279, 719, 1278, 719, 0, 0, 0, 0}, CropCase{641, 480, 641, 361, 0, 59, 0, 29},
        CropCase{1, 1, 1, 1, 0, 0, 0, 0}, CropCase{0, 720, 0, 0, 0, 0, 0, 0},
        CropCase{1280, -1, 0, 0, 0, 0, 0, 0}));

// A picture whose every sample tells plane, row and column.
FrameHolder MakeFrame(int format, int width, int height) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame, 32) < 0) {
        av_frame_free(&frame);
        return FrameHolder();
    }
    for (int p = 0; p < 3 && frame->data[p]; ++p) {
        int rows = p == 0 ? height : (height + 1) / 2;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < frame->linesize[p]; ++c) {
                frame->data[p][r * frame->linesize[p] + c] =
                    static_cast<uint8_t>(p * 101 + r * 3 + c * 5);
            }
        }
    }
    return FrameHolder::Adopt(frame);
}

class CameraFeederTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
        queue_ = VirtualCameraQueue::create(VirtualCameraQueue::kSlotCapacity);
        ASSERT_TRUE(queue_);
        reader_ = std::make_unique<VirtualCameraQueue>(false);
        ASSERT_TRUE(reader_->open(VirtualCameraQueue::kSlotCapacity));
    }

    // The slot of the newest picture, checked to lie in the mapping.
    VirtualCameraSlot Newest() {
        VirtualCameraSlot slot;
        EXPECT_TRUE(reader_->slotOf(reader_->publishedCounter(), &slot));
        return slot;
    }

    std::unique_ptr<VirtualCameraQueue> queue_;
    std::unique_ptr<VirtualCameraQueue> reader_;
};

TEST_F(CameraFeederTest, LargePictureIsCroppedFromItsCentre) {
    FrameHolder frame = MakeFrame(AV_PIX_FMT_YUV420P, 2560, 1440);
    ASSERT_TRUE(frame);
    CameraFeeder feeder(queue_.get());
    ASSERT_TRUE(feeder.Feed(frame));
    VirtualCameraSlot slot = Newest();
    ASSERT_EQ(slot.header.width, 1920u);
    ASSERT_EQ(slot.header.height, 1080u);
    EXPECT_EQ(slot.header.yBytesPerRow, 1920u);
    EXPECT_EQ(slot.header.uBytesPerRow, 960u);
    EXPECT_EQ(slot.header.vBytesPerRow, 960u);
    const AVFrame* src = frame.get();
    const uint8_t* y = slot.data;
    const uint8_t* u = y + 1920 * 1080;
    const uint8_t* v = u + 960 * 540;
    for (int r = 0; r < 1080; ++r) {
        ASSERT_EQ(0, memcmp(y + r * 1920, src->data[0] + (r + 180) * src->linesize[0] + 320, 1920))
            << "Y row " << r;
    }
    for (int r = 0; r < 540; ++r) {
        ASSERT_EQ(0, memcmp(u + r * 960, src->data[1] + (r + 90) * src->linesize[1] + 160, 960))
            << "U row " << r;
        ASSERT_EQ(0, memcmp(v + r * 960, src->data[2] + (r + 90) * src->linesize[2] + 160, 960))
            << "V row " << r;
    }
}

TEST_F(CameraFeederTest, PortraitPictureIsWrittenWhole) {
    FrameHolder frame = MakeFrame(AV_PIX_FMT_YUV420P, 720, 1280);
    ASSERT_TRUE(frame);
    CameraFeeder feeder(queue_.get());
    ASSERT_TRUE(feeder.Feed(frame));
    VirtualCameraSlot slot = Newest();
    EXPECT_EQ(slot.header.width, 720u);
    EXPECT_EQ(slot.header.height, 1280u);
    const AVFrame* src = frame.get();
    for (int r : {0, 639, 1279}) {
        EXPECT_EQ(0, memcmp(slot.data + r * 720, src->data[0] + r * src->linesize[0], 720));
    }
    const uint8_t* v = slot.data + 720 * 1280 + 360 * 640;
    EXPECT_EQ(0, memcmp(v + 639 * 360, src->data[2] + 639 * src->linesize[2], 360));
}

TEST_F(CameraFeederTest, OtherFormatsAreConvertedToPlanarFirst) {
    // NV12 interleaves U and V; the queue wants them as two planes.
    FrameHolder frame = MakeFrame(AV_PIX_FMT_NV12, 64, 36);
    ASSERT_TRUE(frame);
    CameraFeeder feeder(queue_.get());
    ASSERT_TRUE(feeder.Feed(frame));
    VirtualCameraSlot slot = Newest();
    ASSERT_EQ(slot.header.width, 64u);
    ASSERT_EQ(slot.header.height, 36u);
    const AVFrame* src = frame.get();
    const uint8_t* u = slot.data + 64 * 36;
    const uint8_t* v = u + 32 * 18;
    for (int r = 0; r < 36; ++r) {
        ASSERT_EQ(0, memcmp(slot.data + r * 64, src->data[0] + r * src->linesize[0], 64));
    }
    for (int r = 0; r < 18; ++r) {
        for (int c = 0; c < 32; ++c) {
            const uint8_t* uv = src->data[1] + r * src->linesize[1] + 2 * c;
            ASSERT_EQ(u[r * 32 + c], uv[0]) << r << "," << c;
            ASSERT_EQ(v[r * 32 + c], uv[1]) << r << "," << c;
        }
    }
}

TEST_F(CameraFeederTest, NothingIsWrittenWithoutQueueOrPicture) {
    FrameHolder frame = MakeFrame(AV_PIX_FMT_YUV420P, 64, 36);
    CameraFeeder noQueue;
    EXPECT_FALSE(noQueue.Feed(frame));
    CameraFeeder feeder(queue_.get());
    EXPECT_FALSE(feeder.Feed(FrameHolder()));
    EXPECT_EQ(reader_->publishedCounter(), 0u);
    ASSERT_TRUE(feeder.Feed(frame));
    feeder.setQueue(nullptr);
    EXPECT_FALSE(feeder.Feed(frame));
    EXPECT_EQ(reader_->publishedCounter(), 1u);
}

TEST_F(CameraFeederTest, EveryPictureGoesIntoTheNextSlot) {
    CameraFeeder feeder(queue_.get());
    FrameHolder landscape = MakeFrame(AV_PIX_FMT_YUV420P, 1280, 720);
    FrameHolder portrait = MakeFrame(AV_PIX_FMT_YUV420P, 1080, 1920);
    ASSERT_TRUE(feeder.Feed(landscape));
    ASSERT_TRUE(feeder.Feed(portrait));
    ASSERT_TRUE(feeder.Feed(landscape));
    EXPECT_EQ(reader_->publishedCounter(), 3u);
    EXPECT_EQ(reader_->state(), 2u);
    VirtualCameraSlot slot;
    ASSERT_TRUE(reader_->slotOf(2, &slot));
    EXPECT_EQ(slot.header.width, 1080u);
    EXPECT_EQ(slot.header.height, 1920u);
    ASSERT_TRUE(reader_->slotOf(3, &slot));
    EXPECT_EQ(slot.header.width, 1280u);
}

}  // namespace
