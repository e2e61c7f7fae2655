#include "dep/QtComponent/ffmpeg/detection-access-unit.h"

#include <gtest/gtest.h>

#include <vector>

#include "dep/QtComponent/ffmpeg/h264-decoder.h"
#include "tests/dep/ffmpeg/h264-test-stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace {

std::vector<uint8_t> Bytes() {
    return std::vector<uint8_t>(kDetectionAccessUnit,
                                kDetectionAccessUnit + kDetectionAccessUnitSize);
}

TEST(DetectionAccessUnitTest, HoldsParameterSetsOneSeiAndOneIdrSlice) {
    std::vector<uint8_t> b = Bytes();
    ASSERT_GT(b.size(), 40u);
    std::vector<int> types;
    for (size_t i = 0; i + 4 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1) {
            types.push_back(b[i + 4] & 0x1F);
            i += 3;
        }
    }
    EXPECT_EQ(types, (std::vector<int>{7, 8, 6, 5}));
    EXPECT_EQ(b[5], 100) << "profile_idc: High";
    // It is one access unit and starts a group of pictures.
    EXPECT_EQ(zutest::SplitAccessUnits(b).size(), 1u);
    EXPECT_TRUE(H264Decoder::StartsGroup(zutest::ToPacket(b)));
}

TEST(DetectionAccessUnitTest, SoftwareDecoderMakesA40x40Picture) {
    av_log_set_level(AV_LOG_QUIET);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ASSERT_NE(codec, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(avcodec_open2(context, codec, nullptr), 0);
    PacketHolder packet = zutest::ToPacket(Bytes());
    ASSERT_EQ(avcodec_send_packet(context, packet.get()), 0);
    ASSERT_EQ(avcodec_send_packet(context, nullptr), 0);  // end of stream: hand it out
    AVFrame* frame = av_frame_alloc();
    ASSERT_EQ(avcodec_receive_frame(context, frame), 0);
    EXPECT_EQ(frame->width, 40);
    EXPECT_EQ(frame->height, 40);
    EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(frame->pict_type, AV_PICTURE_TYPE_I);
    EXPECT_EQ(context->profile, FF_PROFILE_H264_HIGH);
    av_frame_free(&frame);
    avcodec_free_context(&context);
}

}  // namespace
