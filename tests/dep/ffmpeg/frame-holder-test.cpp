#include "dep/QtComponent/ffmpeg/frame-holder.h"

#include <gtest/gtest.h>

#include <utility>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

namespace {

// A fresh 16x8 YUV420P picture owned by the returned holder.
FrameHolder MakePicture(int width = 16, int height = 8) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    EXPECT_EQ(av_frame_get_buffer(f, 32), 0);
    return FrameHolder::Adopt(f);
}

int RefCount(const FrameHolder& h) {
    return av_buffer_get_ref_count(h.get()->buf[0]);
}

TEST(FrameHolderTest, EmptyHolderAnswersNeutrally) {
    FrameHolder h;
    EXPECT_TRUE(h.empty());
    EXPECT_FALSE(h);
    for (int i = -1; i <= 8; ++i) {
        EXPECT_EQ(h.data(i), nullptr);
        EXPECT_EQ(h.linesize(i), 0);
    }
    EXPECT_EQ(h.width(), 0);
    EXPECT_EQ(h.height(), 0);
    EXPECT_EQ(h.format(), -1);
    FrameHolder fromNull(static_cast<const AVFrame*>(nullptr));
    EXPECT_TRUE(fromNull.empty());
}

TEST(FrameHolderTest, AccessorsStopAtTheEighthPlane) {
    FrameHolder h = MakePicture();
    EXPECT_EQ(h.width(), 16);
    EXPECT_EQ(h.height(), 8);
    EXPECT_EQ(h.format(), AV_PIX_FMT_YUV420P);
    EXPECT_NE(h.data(0), nullptr);
    EXPECT_GE(h.linesize(0), 16);
    EXPECT_EQ(h.data(7), nullptr);
    EXPECT_EQ(h.data(8), nullptr);
    EXPECT_EQ(h.data(-1), nullptr);
    EXPECT_EQ(h.linesize(8), 0);
    EXPECT_EQ(h.linesize(-1), 0);
}

TEST(FrameHolderTest, CopiesShareThePictureByReference) {
    FrameHolder a = MakePicture();
    FrameHolder b(a);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a.data(0), b.data(0));
    EXPECT_EQ(RefCount(a), 2);
    FrameHolder c;
    c = b;
    EXPECT_EQ(RefCount(a), 3);
    c = c;  // self-assignment keeps the reference
    EXPECT_EQ(RefCount(a), 3);
    EXPECT_EQ(c.data(0), a.data(0));
    c = FrameHolder();
    EXPECT_EQ(RefCount(a), 2);
    b.reset();
    EXPECT_EQ(RefCount(a), 1);
}

TEST(FrameHolderTest, AssigningReleasesTheOldPicture) {
    FrameHolder a = MakePicture();
    FrameHolder other = MakePicture(32, 16);
    FrameHolder keep(other);
    EXPECT_EQ(RefCount(other), 2);
    keep = a;  // drops its reference to `other`
    EXPECT_EQ(RefCount(other), 1);
    EXPECT_EQ(keep.width(), 16);
}

TEST(FrameHolderTest, MovesAndSwapsHandTheReferenceOver) {
    FrameHolder a = MakePicture();
    AVFrame* raw = a.get();
    FrameHolder b(std::move(a));
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(b.get(), raw);
    EXPECT_EQ(RefCount(b), 1);

    FrameHolder c = MakePicture(32, 16);
    c = std::move(b);
    EXPECT_EQ(c.get(), raw);
    EXPECT_TRUE(b.empty());  // NOLINT(bugprone-use-after-move)

    FrameHolder d;
    d.swap(c);
    EXPECT_EQ(d.get(), raw);
    EXPECT_TRUE(c.empty());
}

TEST(FrameHolderTest, RawFrameConstructorTakesItsOwnReference) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = 8;
    f->height = 8;
    ASSERT_EQ(av_frame_get_buffer(f, 32), 0);
    {
        FrameHolder h(f);
        EXPECT_NE(h.get(), f);
        EXPECT_EQ(av_buffer_get_ref_count(f->buf[0]), 2);
    }
    EXPECT_EQ(av_buffer_get_ref_count(f->buf[0]), 1);
    av_frame_free(&f);
}

}  // namespace
