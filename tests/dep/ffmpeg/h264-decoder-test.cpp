#include "dep/QtComponent/ffmpeg/h264-decoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "platform/stderr-capture.h"
#include "tests/dep/ffmpeg/decoder-test-support.h"
#include "tests/support/test-host.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

namespace {

using zutest::AccessUnit;
using zutest::H264StreamRecipe;
using zutest::PictureCollector;

H264StreamRecipe Recipe(int w, int h, int frames, int gop, const std::string& profile) {
    H264StreamRecipe s;
    s.width = w;
    s.height = h;
    s.frames = frames;
    s.gop = gop;
    s.profile = profile;
    return s;
}

// Streams are made once per program; a map keeps references stable.
const std::vector<AccessUnit>& Stream(const H264StreamRecipe& recipe) {
    static std::map<std::string, std::vector<AccessUnit>> cache;
    std::string key = zutest::StreamCachePath(recipe);
    auto found = cache.find(key);
    if (found != cache.end())
        return found->second;
    std::string error;
    std::vector<AccessUnit>& units = cache[key];
    units = zutest::MakeAccessUnits(recipe, &error);
    EXPECT_FALSE(units.empty()) << error;
    return units;
}

const H264StreamRecipe kBaseline720 = Recipe(1280, 720, 12, 6, "baseline");
const H264StreamRecipe kHigh720 = Recipe(1280, 720, 12, 6, "high");
const H264StreamRecipe kPortrait = Recipe(720, 1280, 8, 8, "high");
const H264StreamRecipe kSmall = Recipe(320, 240, 40, 10, "baseline");

// A small stream in another chroma layout or range than the phone's 4:2:0.
H264StreamRecipe FormatRecipe(const std::string& pixelFormat, const std::string& profile) {
    H264StreamRecipe s = Recipe(320, 240, 10, 10, profile);
    s.pixelFormat = pixelFormat;
    // No reordering: the 4:2:0 stream that follows it on the same decoder
    // would otherwise inherit the reorder delay.
    s.bFrames = 0;
    return s;
}

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The units of the small stream that are plain non-IDR pictures.
std::vector<AccessUnit> NonIdrUnits(const std::vector<AccessUnit>& units) {
    std::vector<AccessUnit> out;
    for (const AccessUnit& u : units) {
        if (!u.idr && !u.parameterSets)
            out.push_back(u);
    }
    return out;
}

class H264DecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }

    zutest::TestHost host_;
    PictureCollector sink_;
};

// ---- Pictures of the shapes a phone sends ----

TEST_F(H264DecoderTest, BaselinePicturesLeaveWithTheirOwnPacket) {
    const auto& units = Stream(kBaseline720);
    ASSERT_EQ(units.size(), 12u);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(&sink_, {}));
    // Each picture must come out before the next packet is even pushed.
    for (size_t i = 0; i < units.size(); ++i) {
        ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(units[i], static_cast<long long>(i))));
        ASSERT_TRUE(sink_.waitFor(i + 1, 3000)) << "picture " << i << " held back";
    }
    std::vector<zutest::Picture> pictures = sink_.pictures();
    ASSERT_EQ(pictures.size(), units.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].width, 1280);
        EXPECT_EQ(pictures[i].height, 720);
        EXPECT_EQ(pictures[i].format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(pictures[i].pts, static_cast<long long>(i));
    }
}

TEST_F(H264DecoderTest, HighProfileLandscapeAndPortraitKeepTheirSize) {
    struct Case {
        H264StreamRecipe recipe;
        int width;
        int height;
    };
    for (const Case& c : {Case{kHigh720, 1280, 720}, Case{kPortrait, 720, 1280}}) {
        const auto& units = Stream(c.recipe);
        ASSERT_FALSE(units.empty());
        PictureCollector sink;
        H264Decoder decoder;
        ASSERT_TRUE(decoder.init(&sink, {}));
        ASSERT_TRUE(zutest::FeedPaced(decoder, units));
        zutest::WaitQuiet(sink, 300, 5000);
        // B-frames stay in the reorder buffer until later packets push them out.
        std::vector<zutest::Picture> pictures = sink.pictures();
        EXPECT_GE(pictures.size() + 4, units.size()) << c.width << "x" << c.height;
        EXPECT_LE(pictures.size(), units.size());
        for (const zutest::Picture& p : pictures) {
            EXPECT_EQ(p.width, c.width);
            EXPECT_EQ(p.height, c.height);
            EXPECT_EQ(p.format, AV_PIX_FMT_YUV420P);
        }
    }
}

TEST_F(H264DecoderTest, FourTwoTwoAndFourFourFourPicturesAreDroppedAndDecodingGoesOn) {
    const auto& small = Stream(kSmall);
    const struct {
        H264StreamRecipe recipe;
        AVPixelFormat format;
    } cases[] = {
        {FormatRecipe("yuv444p", "high444"), AV_PIX_FMT_YUV444P},
        {FormatRecipe("yuv422p", "high422"), AV_PIX_FMT_YUV422P},
        {FormatRecipe("yuv420p10le", "high10"), AV_PIX_FMT_YUV420P10LE},
    };
    for (const auto& c : cases) {
        const H264StreamRecipe& recipe = c.recipe;
        const auto& wide = Stream(recipe);
        ASSERT_FALSE(wide.empty());
        PictureCollector sink;
        H264Decoder decoder;
        host_.clear();
        ASSERT_TRUE(decoder.init(&sink, {}));
        ASSERT_TRUE(zutest::FeedPaced(decoder, wide));
        zutest::WaitQuiet(sink, 200, 3000);
        EXPECT_EQ(sink.count(), 0u) << recipe.pixelFormat;
        // Said once for the whole run of such pictures, to the owner and the log.
        ASSERT_TRUE(zutest::WaitDrained(decoder, 3000));
        EXPECT_TRUE(host_.waitFor("the phone sends a picture format ZuCam cannot show", 5000));
        EXPECT_EQ(sink.unsupportedReports.load(), 1) << recipe.pixelFormat;
        EXPECT_EQ(sink.unsupportedFormat.load(), c.format) << recipe.pixelFormat;
        EXPECT_EQ(host_.count("the phone sends a picture format ZuCam cannot show"), 1);

        ASSERT_TRUE(zutest::FeedPaced(decoder, small));
        ASSERT_TRUE(sink.waitFor(small.size(), 3000)) << sink.count() << " of " << small.size();
        for (const zutest::Picture& p : sink.pictures())
            EXPECT_EQ(p.format, AV_PIX_FMT_YUV420P);
    }
}

TEST_F(H264DecoderTest, FullRangePicturesAreDeliveredAsTheyAre) {
    const auto& units = Stream(FormatRecipe("yuvj420p", "high"));
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(&sink_, {}));
    ASSERT_TRUE(zutest::FeedPaced(decoder, units));
    ASSERT_TRUE(sink_.waitFor(units.size(), 3000));
    for (const zutest::Picture& p : sink_.pictures())
        EXPECT_EQ(p.format, AV_PIX_FMT_YUVJ420P);
}

TEST_F(H264DecoderTest, ReceiversMayKeepPicturesBeyondTheDecoder) {
    const auto& units = Stream(kSmall);
    sink_.keepFrames = true;
    {
        H264Decoder decoder;
        ASSERT_TRUE(decoder.init(&sink_, {}));
        ASSERT_TRUE(zutest::FeedPaced(decoder, units));
        ASSERT_TRUE(sink_.waitFor(units.size(), 3000));
    }
    ASSERT_EQ(sink_.kept.size(), units.size());
    // Distinct pictures, each still readable after the decoder is gone.
    EXPECT_NE(sink_.kept[0].data(0), sink_.kept[1].data(0));
    for (const FrameHolder& f : sink_.kept) {
        ASSERT_NE(f.data(0), nullptr);
        volatile uint8_t last = f.data(0)[f.linesize(0) * (f.height() - 1) + f.width() - 1];
        (void)last;
    }
}

// ---- Group-of-pictures rule ----

TEST_F(H264DecoderTest, GroupStartRecognisesKeyFlagParameterSetsAndIdrSlices) {
    auto packet = [](std::vector<uint8_t> bytes, bool key = false) {
        return zutest::ToPacket(bytes, 0, key);
    };
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x67, 0x42})));   // SPS
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x68, 0xce})));   // PPS
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x65, 0x88})));   // IDR slice
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x25})));         // IDR, ref 1
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0xe7})));         // SPS, forbidden bit
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x85})));        // IDR, forbidden bit
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x41, 0x9a})));  // non-IDR
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x06, 0x05})));  // SEI
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x09, 0xf0})));  // delimiter
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1, 0x41}, true)));
    // Four bytes or fewer: only the flag counts, whatever the bytes say.
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0, 0, 0, 1})));
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0x67, 0x67, 0x67, 0x67})));
    EXPECT_FALSE(H264Decoder::StartsGroup(packet({0x65})));
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0, 0, 0, 1}, true)));
    EXPECT_TRUE(H264Decoder::StartsGroup(packet({0x01}, true)));
    EXPECT_FALSE(H264Decoder::StartsGroup(PacketHolder()));
}

TEST_F(H264DecoderTest, KeyPacketDiscardsEveryPendingPacket) {
    const auto& units = Stream(kSmall);
    std::vector<AccessUnit> inter = NonIdrUnits(units);
    ASSERT_GE(inter.size(), 3u);
    ASSERT_TRUE(units[0].idr);

    // Before init no thread takes packets, so the list is exactly what was pushed.
    H264Decoder decoder;
    platform::StderrCapture capture;
    ASSERT_TRUE(capture.active());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(inter[i])));
    EXPECT_EQ(decoder.pendingCount(), 3u);
    EXPECT_EQ(Occurrences(capture.text(), "release old pkt_"), 0);

    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(units[0], 100)));
    std::string err = capture.stop();
    EXPECT_EQ(Occurrences(err, "release old pkt_ 3.\n"), 1) << err;
    EXPECT_EQ(decoder.pendingCount(), 1u);

    // Only the IDR picture is left to decode once the thread runs.
    ASSERT_TRUE(decoder.init(&sink_, {}));
    ASSERT_TRUE(sink_.waitFor(1, 3000));
    zutest::WaitQuiet(sink_, 100, 1000);
    ASSERT_EQ(sink_.count(), 1u);
    EXPECT_EQ(sink_.pictures()[0].pts, 100);
}

TEST_F(H264DecoderTest, KeyPacketOnAnEmptyListStillReportsZero) {
    const auto& units = Stream(kSmall);
    H264Decoder decoder;
    platform::StderrCapture capture;
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(units[0])));
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket({0, 0, 0, 1}, 0, true)));
    std::string err = capture.stop();
    EXPECT_EQ(Occurrences(err, "release old pkt_ 0.\n"), 1) << err;
    EXPECT_EQ(Occurrences(err, "release old pkt_ 1.\n"), 1) << err;
    EXPECT_EQ(decoder.pendingCount(), 1u);
}

TEST_F(H264DecoderTest, NonIdrAndShortPacketsNeverDiscard) {
    const auto& units = Stream(kSmall);
    std::vector<AccessUnit> inter = NonIdrUnits(units);
    H264Decoder decoder;
    platform::StderrCapture capture;
    for (const AccessUnit& u : inter)
        ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(u)));
    // Short packets whose bytes look like parameter sets or IDR slices.
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket({0, 0, 0, 1})));
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket({0x67, 0x68, 0x65})));
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket({0x65})));
    std::string err = capture.stop();
    EXPECT_EQ(Occurrences(err, "release old pkt_"), 0) << err;
    EXPECT_EQ(decoder.pendingCount(), inter.size() + 3);
}

// A phone that never sends a key picture while this machine falls behind:
// the backlog is bounded, and nothing is queued again before a group start.
TEST_F(H264DecoderTest, BacklogIsBoundedUntilTheNextGroupStart) {
    H264Decoder decoder;  // no thread: nothing is consumed
    const AccessUnit inter = NonIdrUnits(Stream(kSmall)).front();
    for (size_t i = 0; i < H264Decoder::kMaxPendingPackets; ++i)
        ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(inter)));
    EXPECT_EQ(decoder.pendingCount(), H264Decoder::kMaxPendingPackets);
    // One more overflows: the backlog goes, and so does what follows it.
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(inter)));
    EXPECT_EQ(decoder.pendingCount(), 0u);
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(inter)));
    EXPECT_EQ(decoder.pendingCount(), 0u);
    // A group start is queued again, and so are the pictures after it.
    platform::StderrCapture capture;
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(Stream(kSmall).front())));
    ASSERT_TRUE(decoder.pushPacket(zutest::ToPacket(inter)));
    capture.stop();
    EXPECT_EQ(decoder.pendingCount(), 2u);
}

TEST_F(H264DecoderTest, EmptyPacketsAreRefused) {
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(&sink_, {}));
    EXPECT_FALSE(decoder.pushPacket(PacketHolder()));
    EXPECT_FALSE(decoder.pushPacket(PacketHolder::Copy(nullptr, 0)));
    EXPECT_EQ(decoder.pendingCount(), 0u);
    // The decoder was not put into its end-of-stream state: pictures still come.
    ASSERT_TRUE(zutest::FeedPaced(decoder, Stream(kSmall)));
    EXPECT_TRUE(sink_.waitFor(Stream(kSmall).size(), 3000));
}

// ---- Hostile input ----

TEST_F(H264DecoderTest, CorruptInputNeverCrashesAndDecodingResumesAtTheNextIdr) {
    const auto& units = Stream(kSmall);
    ASSERT_GE(units.size(), 20u);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(&sink_, {}));
    std::mt19937 rng(20240611);
    auto randomBytes = [&](size_t n) {
        std::vector<uint8_t> b(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
        return b;
    };
    std::vector<std::vector<uint8_t>> hostile;
    for (size_t n : {1u, 3u, 5u, 17u, 100u, 4096u, 65536u})
        hostile.push_back(randomBytes(n));
    for (uint8_t header : {0x67, 0x68, 0x65, 0x41, 0x06}) {
        std::vector<uint8_t> b{0, 0, 0, 1, header};
        std::vector<uint8_t> tail = randomBytes(300);
        b.insert(b.end(), tail.begin(), tail.end());
        hostile.push_back(b);
    }
    // Truncated NAL units: the IDR unit cut short at several points.
    for (size_t cut : {size_t{5}, size_t{12}, size_t{40}, units[0].bytes.size() / 2}) {
        hostile.emplace_back(units[0].bytes.begin(),
                             units[0].bytes.begin() + static_cast<long>(cut));
    }
    // Start codes only, and a valid SPS followed by garbage.
    hostile.push_back({0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1});
    std::vector<uint8_t> spsThenNoise(units[0].bytes.begin(), units[0].bytes.begin() + 30);
    std::vector<uint8_t> noise = randomBytes(2000);
    spsThenNoise.insert(spsThenNoise.end(), noise.begin(), noise.end());
    hostile.push_back(spsThenNoise);
    for (const auto& b : hostile) {
        decoder.pushPacket(zutest::ToPacket(b));
        ASSERT_TRUE(zutest::WaitDrained(decoder, 3000));
    }
    // Refusals cost only their packet and are logged with FFmpeg's reason.
    EXPECT_TRUE(host_.waitFor(
        "Could not send video packet:[-1094995529], Invalid data found when processing input",
        1000));

    // A stream cut in the middle of a picture, then inter pictures whose
    // references are broken.
    decoder.pushPacket(zutest::ToPacket(units[0]));
    const auto& mid = units[1].bytes;
    decoder.pushPacket(zutest::ToPacket(
        std::vector<uint8_t>(mid.begin(), mid.begin() + static_cast<long>(mid.size() / 2))));
    for (size_t i = 3; i < 8; ++i)
        decoder.pushPacket(zutest::ToPacket(units[i]));
    ASSERT_TRUE(zutest::WaitDrained(decoder, 3000));
    zutest::WaitQuiet(sink_, 100, 2000);

    // From the next IDR on, every picture arrives whole.
    std::vector<AccessUnit> group(units.begin() + 10, units.begin() + 20);
    ASSERT_TRUE(group.front().idr);
    size_t before = sink_.count();
    ASSERT_TRUE(zutest::FeedPaced(decoder, group, 1000));
    ASSERT_TRUE(sink_.waitFor(before + group.size(), 3000));
    std::vector<zutest::Picture> pictures = sink_.pictures();
    for (size_t i = before; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].width, 320);
        EXPECT_EQ(pictures[i].height, 240);
        EXPECT_EQ(pictures[i].pts, static_cast<long long>(1000 + i - before));
    }
    for (const zutest::Picture& p : pictures)
        EXPECT_EQ(p.format, AV_PIX_FMT_YUV420P);
}

// ---- Life cycle ----

TEST_F(H264DecoderTest, NoDeliveryOnceDestructionHasJoined) {
    const auto& units = Stream(kSmall);
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateDeliveries{0};
    std::atomic<int> started{0};
    sink_.onDelivery = [&](const FrameHolder&) {
        if (destroyed.load())
            ++lateDeliveries;
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    };
    auto decoder = std::make_unique<H264Decoder>();
    ASSERT_TRUE(decoder->init(&sink_, {}));
    // One group without a key in the middle, so nothing is discarded.
    for (size_t i = 0; i < 10; ++i)
        decoder->pushPacket(zutest::ToPacket(units[i]));
    while (started.load() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    auto t0 = std::chrono::steady_clock::now();
    decoder.reset();
    destroyed = true;
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    size_t delivered = sink_.count();
    EXPECT_LT(delivered, 10u);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lateDeliveries.load(), 0);
    EXPECT_EQ(sink_.count(), delivered);
}

TEST_F(H264DecoderTest, IdleDecoderStopsWithinItsWaitStep) {
    auto decoder = std::make_unique<H264Decoder>();
    ASSERT_TRUE(decoder->init(&sink_, {}));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    auto t0 = std::chrono::steady_clock::now();
    decoder.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
}

TEST_F(H264DecoderTest, PacketsWaitingWithoutThreadAreFreed) {
    const auto& units = Stream(kSmall);
    H264Decoder decoder;
    for (const AccessUnit& u : NonIdrUnits(units))
        decoder.pushPacket(zutest::ToPacket(u));
    EXPECT_GT(decoder.pendingCount(), 0u);
    // Leak checking (ASan) sees the rest.
}

TEST_F(H264DecoderTest, SecondInitOfARunningDecoderIsRefused) {
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(&sink_, {}));
    EXPECT_FALSE(decoder.init(&sink_, {}));
    ASSERT_TRUE(zutest::FeedPaced(decoder, Stream(kSmall)));
    EXPECT_TRUE(sink_.waitFor(Stream(kSmall).size(), 3000));
}

// ---- Software and hardware set-up ----

TEST_F(H264DecoderTest, WithoutDetectionDecodingIsSoftware) {
    H264Decoder decoder;
    EXPECT_EQ(decoder.hardwarePixelFormat(), -1);
    ASSERT_TRUE(decoder.init(&sink_));
    EXPECT_FALSE(decoder.hardware());
    EXPECT_EQ(decoder.hardwarePixelFormat(), -1);
    EXPECT_TRUE(host_.contains("H.264 decoding in software"));
}

TEST_F(H264DecoderTest, DeviceTypeTheDecoderCannotUseFailsInit) {
    {
        H264Decoder decoder;
        EXPECT_FALSE(decoder.init(&sink_, {"dxva2", "cuda"}));
        EXPECT_TRUE(decoder.hardware());
        EXPECT_TRUE(host_.contains("Decoder h264 does not support device type dxva2."));
    }
    {
        H264Decoder decoder;
        EXPECT_FALSE(decoder.init(&sink_, {"no-such-device"}));
    }
    EXPECT_EQ(host_.count("Decoder h264 does not support device type cuda."), 0);
    EXPECT_EQ(sink_.count(), 0u);
}

TEST_F(H264DecoderTest, MissingDeviceFailsInitWithoutFallback) {
    // Only meaningful where no CUDA device exists (every CI machine).
    AVBufferRef* probe = nullptr;
    if (av_hwdevice_ctx_create(&probe, AV_HWDEVICE_TYPE_CUDA, nullptr, nullptr, 0) >= 0) {
        av_buffer_unref(&probe);
        GTEST_SKIP() << "a CUDA device exists here";
    }
    int cudaSurface = HardwareCodecDetector::SurfaceFormatFor(
        avcodec_find_decoder(AV_CODEC_ID_H264), AV_HWDEVICE_TYPE_CUDA);
    if (cudaSurface < 0)
        GTEST_SKIP() << "this FFmpeg has no CUDA decoding";
    H264Decoder decoder;
    EXPECT_FALSE(decoder.init(&sink_, {"cuda"}));
    EXPECT_TRUE(host_.contains("Failed to create specified HW device."));
    EXPECT_EQ(host_.count("H.264 decoding in software"), 0);
}

}  // namespace
