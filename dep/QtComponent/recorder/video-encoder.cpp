#include "dep/QtComponent/recorder/video-encoder.h"

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "hublet/log-sink.h"

VideoEncoder::VideoEncoder(FFmpegRecorder* recorder)
    : recorder_(recorder), context_(recorder->videoContext()), packet_(av_packet_alloc()) {}

VideoEncoder::~VideoEncoder() {
    av_packet_free(&packet_);
}

bool VideoEncoder::receiveOne() {
    if (avcodec_receive_packet(context_, packet_) != 0)
        return false;
    lastPts_.store(packet_->pts, std::memory_order_relaxed);
    recorder_->writeVideoPacket(packet_);
    av_packet_unref(packet_);
    return true;
}

void VideoEncoder::encode(const FrameHolder& frame) {
    if (!context_ || !packet_ || !frame)
        return;
    for (;;) {
        receiveOne();
        int ret = avcodec_send_frame(context_, frame.get());
        if (ret == AVERROR(EAGAIN))
            continue;
        if (ret != 0) {
            char text[1024] = {0};
            av_strerror(ret, text, sizeof(text) - 1);
            BG_LOGE("avcodec_send_frame failed! error %d [%s]", ret, text);
        }
        return;
    }
}

bool VideoEncoder::flush() {
    if (!context_ || !packet_)
        return true;
    avcodec_send_frame(context_, nullptr);
    int ret;
    do {
        ret = avcodec_receive_packet(context_, packet_);
        if (ret == 0) {
            if (packet_->size > 0) {
                lastPts_.store(packet_->pts, std::memory_order_relaxed);
                recorder_->writeVideoPacket(packet_);
            }
            av_packet_unref(packet_);
        }
    } while (ret == 0);
    return !(ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN));
}
