#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <string>
#include <vector>

#include "tools/phone-sim/annexb-splitter.h"
#include "tools/phone-sim/pattern-encoder.h"

namespace phonesim {
namespace {

// Decodes Annex B access units the way the desktop does: configuration bytes
// joined to the picture after them.
class Decoder {
public:
    Decoder() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        context_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        ok_ = codec && context_ && avcodec_open2(context_, codec, nullptr) == 0;
    }
    ~Decoder() {
        avcodec_free_context(&context_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }
    bool ok() const { return ok_; }

    // Sends one unit, collects every picture that comes out.
    void Push(const std::string& bytes) {
        av_new_packet(packet_, static_cast<int>(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), packet_->data);
        ASSERT_EQ(avcodec_send_packet(context_, packet_), 0);
        av_packet_unref(packet_);
        Drain();
    }
    void Flush() {
        avcodec_send_packet(context_, nullptr);
        Drain();
    }

    struct Picture {
        int width, height;
        int counter;  // the frame number read from the top blocks
    };
    std::vector<Picture> pictures;

private:
    void Drain() {
        while (avcodec_receive_frame(context_, frame_) == 0) {
            pictures.push_back({frame_->width, frame_->height, ReadCounter()});
            av_frame_unref(frame_);
        }
    }
    int ReadCounter() const {
        int blockW = frame_->width / PatternEncoder::kCounterBits;
        int y = PatternEncoder::CounterHeight(frame_->height) / 2;
        int value = 0;
        for (int bit = 0; bit < PatternEncoder::kCounterBits; ++bit) {
            int x = bit * blockW + blockW / 2;
            uint8_t luma = frame_->data[0][y * frame_->linesize[0] + x];
            value = value << 1 | (luma > 128 ? 1 : 0);
        }
        return value;
    }

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool ok_ = false;
};

TEST(PhoneSimPatternEncoder, UnitsDecodeToNumberedPicturesOfTheRightSize) {
    PatternEncoder encoder;
    PatternEncoder::Settings s;
    s.width = 320;
    s.height = 240;
    s.fps = 30;
    s.gop = 10;
    std::string error;
    ASSERT_TRUE(encoder.Open(s, &error)) << error;
    Decoder decoder;
    ASSERT_TRUE(decoder.ok());

    std::string pendingConfig;
    for (int i = 0; i < 25; ++i) {
        AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
        ASSERT_TRUE(unit.hasSlice);
        // Parameter sets come with every key picture and only there.
        EXPECT_EQ(unit.key, i % 10 == 0) << i;
        EXPECT_EQ(!unit.config.empty(), unit.key) << i;
        // Annex B: every part starts with a start code.
        EXPECT_EQ(unit.picture.compare(0, 3, std::string("\0\0\1", 3)) == 0 ||
                      unit.picture.compare(0, 4, std::string("\0\0\0\1", 4)) == 0,
                  true);
        decoder.Push(unit.config + unit.picture);
    }
    decoder.Flush();
    ASSERT_EQ(decoder.pictures.size(), 25u);
    for (size_t i = 0; i < decoder.pictures.size(); ++i) {
        EXPECT_EQ(decoder.pictures[i].width, 320);
        EXPECT_EQ(decoder.pictures[i].height, 240);
        EXPECT_EQ(decoder.pictures[i].counter, static_cast<int>(i));
    }
}

// A phone that turns or switches resolution: each picture its own size, each
// a key picture with its parameter sets, numbered on as before.
TEST(PhoneSimPatternEncoder, SizesTakenInTurnChangeEveryPicture) {
    PatternEncoder encoder;
    PatternEncoder::Settings s;
    s.width = 320;
    s.height = 240;
    s.moreSizes = {{240, 320}, {642, 362}};
    std::string error;
    ASSERT_TRUE(encoder.Open(s, &error)) << error;
    Decoder decoder;
    ASSERT_TRUE(decoder.ok());
    for (int i = 0; i < 7; ++i) {
        AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
        EXPECT_TRUE(unit.key) << i;
        EXPECT_FALSE(unit.config.empty()) << i;
        decoder.Push(unit.config + unit.picture);
    }
    decoder.Flush();
    ASSERT_EQ(decoder.pictures.size(), 7u);
    const int widths[3] = {320, 240, 642}, heights[3] = {240, 320, 362};
    for (size_t i = 0; i < decoder.pictures.size(); ++i) {
        EXPECT_EQ(decoder.pictures[i].width, widths[i % 3]) << i;
        EXPECT_EQ(decoder.pictures[i].height, heights[i % 3]) << i;
        EXPECT_EQ(decoder.pictures[i].counter, static_cast<int>(i));
    }
}

TEST(PhoneSimPatternEncoder, DefaultGopIsTwoSecondsAndSmallSizesWork) {
    PatternEncoder encoder;
    PatternEncoder::Settings s;
    s.width = 66;
    s.height = 34;
    s.fps = 5;
    std::string error;
    ASSERT_TRUE(encoder.Open(s, &error)) << error;
    int keys = 0;
    for (int i = 0; i < 21; ++i) {
        AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
        if (unit.key) {
            EXPECT_EQ(i % 10, 0) << i;
            ++keys;
        }
    }
    EXPECT_EQ(keys, 3);
}

TEST(PhoneSimPatternEncoder, RefusesSizesTheEncoderCannotTake) {
    PatternEncoder encoder;
    PatternEncoder::Settings s;
    s.width = 0;
    s.height = 0;
    std::string error;
    EXPECT_FALSE(encoder.Open(s, &error));
    EXPECT_NE(error.find("0x0"), std::string::npos) << error;
}

}  // namespace
}  // namespace phonesim
