#include "dep/QtComponent/ffmpeg/frame-scaler.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace {

// An NV12 picture whose every sample is known: Y = x + y, U = 40 + x, V = 200 - y.
FrameHolder MakeNv12(int width, int height) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_NV12;
    f->width = width;
    f->height = height;
    EXPECT_EQ(av_frame_get_buffer(f, 32), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            f->data[0][y * f->linesize[0] + x] = uint8_t(x + y);
    }
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            f->data[1][y * f->linesize[1] + 2 * x] = uint8_t(40 + x);
            f->data[1][y * f->linesize[1] + 2 * x + 1] = uint8_t(200 - y);
        }
    }
    return FrameHolder::Adopt(f);
}

TEST(FrameScalerTest, SameSizeConversionKeepsEverySample) {
    FrameHolder src = MakeNv12(64, 48);
    FrameScaler scaler(AV_PIX_FMT_YUV420P, 0, 0);
    FrameHolder out = scaler.convert(src);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.format(), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(out.width(), 64);
    EXPECT_EQ(out.height(), 48);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out.linesize(i) % 32, 0) << "plane " << i;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out.data(0)[y * out.linesize(0) + x], x + y);
    }
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(out.data(1)[y * out.linesize(1) + x], 40 + x);
            ASSERT_EQ(out.data(2)[y * out.linesize(2) + x], 200 - y);
        }
    }
}

TEST(FrameScalerTest, CachedContextFollowsChangingSources) {
    FrameScaler scaler(AV_PIX_FMT_YUV420P);
    for (int w : {64, 32, 96, 64}) {
        FrameHolder src = MakeNv12(w, 32);
        FrameHolder out = scaler.convert(src.get()->data, src.get()->linesize, w, 32, src.format());
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.width(), w);
        EXPECT_EQ(out.data(0)[31 * out.linesize(0) + w - 1], w - 1 + 31);
    }
    scaler.release();
    scaler.release();                                        // twice is harmless
    EXPECT_FALSE(scaler.convert(MakeNv12(16, 16)).empty());  // builds a new context
}

TEST(FrameScalerTest, FixedDestinationSizeScales) {
    FrameScaler scaler(AV_PIX_FMT_YUV420P, 32, 24);
    FrameHolder out = scaler.convert(MakeNv12(64, 48));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.width(), 32);
    EXPECT_EQ(out.height(), 24);
    // Only one of the two destination sides set: the source size is used.
    FrameScaler half(AV_PIX_FMT_YUV420P, 32, 0);
    EXPECT_EQ(half.convert(MakeNv12(64, 48)).width(), 64);
}

TEST(FrameScalerTest, ImpossibleConversionsGiveAnEmptyHolder) {
    FrameScaler scaler(AV_PIX_FMT_YUV420P);
    FrameHolder src = MakeNv12(16, 16);
    EXPECT_TRUE(scaler.convert(FrameHolder()).empty());
    EXPECT_TRUE(scaler.convert(nullptr, src.get()->linesize, 16, 16, AV_PIX_FMT_NV12).empty());
    EXPECT_TRUE(
        scaler.convert(src.get()->data, src.get()->linesize, 0, 16, AV_PIX_FMT_NV12).empty());
    EXPECT_TRUE(scaler.convert(src.get()->data, src.get()->linesize, 16, 16, -1).empty());
    // Hardware surface formats carry no pixels libswscale could read.
    EXPECT_TRUE(
        scaler.convert(src.get()->data, src.get()->linesize, 16, 16, AV_PIX_FMT_CUDA).empty());
    EXPECT_TRUE(scaler.convert(src.get()->data, src.get()->linesize, 16, 16, 100000).empty());
    FrameScaler badTarget(AV_PIX_FMT_CUDA);
    EXPECT_TRUE(badTarget.convert(src).empty());
}

}  // namespace
