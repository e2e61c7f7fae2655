// Fixed-format scaling into the camera picture, the waiting picture, and
// finding a v4l2loopback device by its label.
#include "tools/zucam-camera/picture-fitter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/v4l2-output.h"
#include "tests/support/temp-dir.h"
#include "tools/zucam-camera/waiting-picture.h"

namespace {

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kOrange{150, 60, 190};

// A uniform picture laid out in a buffer of exactly the slot's bytes, so any
// read past them trips AddressSanitizer.
struct SlotPicture {
    std::vector<uint8_t> bytes;
    VirtualCameraSlot slot;

    SlotPicture(uint32_t w, uint32_t h, Yuv colour) {
        slot.header = {w, h, w, w / 2, w / 2};
        bytes.resize(VirtualCameraQueue::PictureBytes(h, w, w / 2, w / 2));
        size_t luma = size_t(w) * h;
        std::fill(bytes.begin(), bytes.begin() + luma, colour.y);
        size_t chroma = (bytes.size() - luma) / 2;
        std::fill(bytes.begin() + luma, bytes.begin() + luma + chroma, colour.u);
        std::fill(bytes.begin() + luma + chroma, bytes.end(), colour.v);
        slot.data = bytes.data();
        slot.bytes = bytes.size();
    }
};

Yuv At(const I420Frame& f, int x, int y) {
    size_t c = size_t(y / 2) * (f.width / 2) + x / 2;
    return {f.y()[size_t(y) * f.width + x], f.u()[c], f.v()[c]};
}

bool Near(Yuv a, Yuv b) {
    auto close = [](int p, int q) { return p - q <= 2 && q - p <= 2; };
    return close(a.y, b.y) && close(a.u, b.u) && close(a.v, b.v);
}

// Every pixel inside the region has the picture's colour, every one outside
// is black: checked on every row and column that crosses a border.
void ExpectBands(const I420Frame& f, const FittedRegion& r, Yuv colour) {
    for (int y = 0; y < f.height; y += 1) {
        for (int x = 0; x < f.width; x += 1) {
            bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
            // Bilinear edges blend only within the picture; chroma pairs may
            // straddle the border by one sample.
            bool edge = inside && (x < r.x + 2 || x >= r.x + r.width - 2 || y < r.y + 2 ||
                                   y >= r.y + r.height - 2);
            if (edge)
                continue;
            Yuv want = inside ? colour : kBlack;
            if (!Near(At(f, x, y), want)) {
                ADD_FAILURE() << "pixel " << x << "," << y << " region " << r.x << "," << r.y << " "
                              << r.width << "x" << r.height;
                return;
            }
        }
    }
}

struct FitCase {
    uint32_t width, height;
    FittedRegion region;
};

TEST(PictureFitter, PicturesKeepTheirAspectInside1280x720) {
    const FitCase cases[] = {
        {1920, 1080, {0, 0, 1280, 720}},   // exactly 16:9: no bands
        {1080, 1920, {438, 0, 404, 720}},  // portrait: side bands
        {1000, 562, {0, 0, 1280, 718}},    // a hair wider than 16:9: a thin band
        {2, 2, {280, 0, 720, 720}},        // the smallest picture, square
        {3, 3, {280, 0, 720, 720}},        // odd: its even part is shown
        {2560, 1440, {0, 0, 1280, 720}},
    };
    PictureFitter fitter(1280, 720);
    for (const FitCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        SlotPicture picture(c.width, c.height, kOrange);
        I420Frame frame;
        ASSERT_TRUE(fitter.fit(picture.slot, &frame));
        EXPECT_EQ(frame.width, 1280);
        EXPECT_EQ(frame.bytes.size(), 1280u * 720 * 3 / 2);
        EXPECT_TRUE(frame.region == c.region) << frame.region.x << "," << frame.region.y << " "
                                              << frame.region.width << "x" << frame.region.height;
        ExpectBands(frame, frame.region, kOrange);
    }
}

TEST(PictureFitter, TurningThePhoneRepaintsTheBands) {
    PictureFitter fitter(320, 180);
    I420Frame frame;
    SlotPicture portrait(36, 64, kOrange), landscape(64, 36, Yuv{90, 100, 110});
    ASSERT_TRUE(fitter.fit(portrait.slot, &frame));
    ASSERT_TRUE(fitter.fit(landscape.slot, &frame));
    EXPECT_TRUE(frame.region == (FittedRegion{0, 0, 320, 180}));
    ExpectBands(frame, frame.region, Yuv{90, 100, 110});
    ASSERT_TRUE(fitter.fit(portrait.slot, &frame));
    ExpectBands(frame, frame.region, kOrange);
}

TEST(PictureFitter, HeadersThatLieNeverReadOutsideTheSlot) {
    PictureFitter fitter(320, 180);
    I420Frame frame;
    SlotPicture picture(64, 48, kOrange);
    // Rows shorter than the width claims: only what the rows hold is read.
    picture.slot.header.width = 4000;
    EXPECT_TRUE(fitter.fit(picture.slot, &frame));
    // More rows than the slot's bytes hold.
    picture.slot.header = {64, 4000, 64, 32, 32};
    EXPECT_FALSE(fitter.fit(picture.slot, &frame));
    // Too small to show.
    SlotPicture line(1, 1, kOrange);
    EXPECT_FALSE(fitter.fit(line.slot, &frame));
    picture.slot.header = {64, 48, 64, 0, 32};
    EXPECT_FALSE(fitter.fit(picture.slot, &frame)) << "no chroma at all";
}

// Pixels of the picture's luma at or near full ink, in rows [top, bottom).
size_t InkIn(const I420Frame& frame, int top, int bottom) {
    size_t ink = 0;
    for (int y = std::max(0, top); y < std::min(frame.height, bottom); ++y) {
        for (int x = 0; x < frame.width; ++x)
            ink += frame.bytes[size_t(y) * frame.width + x] >= WaitingPicture::kInkY - 8;
    }
    return ink;
}

TEST(WaitingPicture, CalmBackgroundWithInkAtAnySize) {
    using Language = WaitingPicture::Language;
    for (auto size : {std::make_pair(1280, 720), std::make_pair(320, 180), std::make_pair(16, 16),
                      std::make_pair(3840, 2160)}) {
        for (Language language : {Language::kEnglish, Language::kChinese}) {
            I420Frame frame;
            WaitingPicture::Draw(size.first, size.second, language, &frame);
            ASSERT_EQ(frame.bytes.size(), size_t(size.first) * size.second * 3 / 2);
            EXPECT_TRUE(Near(At(frame, 0, 0),
                             Yuv{WaitingPicture::kBackgroundY, WaitingPicture::kBackgroundU,
                                 WaitingPicture::kBackgroundV}));
            EXPECT_GT(InkIn(frame, 0, frame.height), 0u) << size.first << "x" << size.second;
        }
    }
}

TEST(WaitingPicture, EachLanguageWritesItsOwnWords) {
    using Language = WaitingPicture::Language;
    I420Frame english;
    I420Frame chinese;
    WaitingPicture::Draw(1280, 720, Language::kEnglish, &english);
    WaitingPicture::Draw(1280, 720, Language::kChinese, &chinese);
    // The phone's outline ends at 64 % of the height (30 % tall, centred with
    // the words); the words lie below it.
    const int wordsFrom = 720 * 66 / 100;
    const size_t englishInk = InkIn(english, wordsFrom, 720);
    const size_t chineseInk = InkIn(chinese, wordsFrom, 720);
    EXPECT_GT(englishInk, 1000u) << "English words under the phone";
    EXPECT_GT(chineseInk, 1000u) << "Chinese words under the phone";
    size_t differing = 0;
    for (size_t i = size_t(wordsFrom) * 1280; i < size_t(720) * 1280; ++i)
        differing += english.bytes[i] != chinese.bytes[i];
    EXPECT_GT(differing, 1000u) << "the two languages show different words";
    // Antialiased strokes: the Chinese words have edges between ink and
    // background, the hand-drawn Latin letters none.
    size_t between = 0;
    for (size_t i = size_t(wordsFrom) * 1280; i < size_t(720) * 1280; ++i) {
        between += chinese.bytes[i] > WaitingPicture::kBackgroundY + 8 &&
                   chinese.bytes[i] < WaitingPicture::kInkY - 8;
    }
    EXPECT_GT(between, 100u);
}

TEST(V4l2Output, TheDeviceLabelledZuCamIsFound) {
    zutest::TempDir sys;
    std::string dir = sys.path() + "/class/video4linux";
    ASSERT_EQ(platform::V4l2Output::FindByLabel("ZuCam", sys.path()), "") << "no such folder";
    ASSERT_EQ(::system(("mkdir -p " + dir + "/video0 " + dir + "/video12 " + dir + "/video9 " +
                        dir + "/media0")
                           .c_str()),
              0);
    EXPECT_EQ(platform::V4l2Output::FindByLabel("ZuCam", sys.path()), "") << "nameless devices";
    platform::WriteWholeFile(dir + "/video0/name", "Integrated Camera: Integrated C\n");
    platform::WriteWholeFile(dir + "/video12/name", "ZuCam\n");
    platform::WriteWholeFile(dir + "/video9/name", "ZuCam\n");
    platform::WriteWholeFile(dir + "/media0/name", "ZuCam\n");
    EXPECT_EQ(platform::V4l2Output::FindByLabel("ZuCam", sys.path()), "/dev/video9");
    EXPECT_EQ(platform::V4l2Output::FindByLabel("ZuCam Extra", sys.path()), "");
}

}  // namespace
