#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "dep/QtComponent/ffmpeg/frame-holder.h"

namespace rectest {

// A YUV420P picture whose luma encodes `index`, so encoded pictures differ.
inline FrameHolder Picture(int width, int height, int index, int64_t ptsUs) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    av_frame_get_buffer(f, 32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            f->data[0][y * f->linesize[0] + x] = (x + y + index * 7) & 0xff;
    }
    for (int p = 1; p < 3; ++p) {
        for (int y = 0; y < height / 2; ++y) {
            for (int x = 0; x < width / 2; ++x)
                f->data[p][y * f->linesize[p] + x] = 128;
        }
    }
    f->pts = ptsUs;
    return FrameHolder::Adopt(f);
}

// `samples` of a 1 kHz tone, signed 16-bit interleaved.
inline FrameHolder Tone(int rate, int channels, int samples, int64_t firstSample) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_SAMPLE_FMT_S16;
    f->sample_rate = rate;
    av_channel_layout_default(&f->ch_layout, channels);
    f->nb_samples = samples;
    av_frame_get_buffer(f, 1);
    auto* out = reinterpret_cast<int16_t*>(f->data[0]);
    for (int i = 0; i < samples; ++i) {
        double t = static_cast<double>(firstSample + i) / rate;
        auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * t));
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = v;
    }
    return FrameHolder::Adopt(f);
}

struct StreamInfo {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    AVRational timeBase{0, 1};
    int packets = 0;
    int64_t firstPts = AV_NOPTS_VALUE;
    int64_t lastPts = AV_NOPTS_VALUE;
    int64_t lastDuration = 0;
    int64_t endPts = 0;  // max(pts + duration)
};

// Reads every packet of a finished file; empty when it cannot be opened.
inline std::vector<StreamInfo> Probe(const std::string& path) {
    std::vector<StreamInfo> streams;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0)
        return streams;
    if (avformat_find_stream_info(in, nullptr) < 0) {
        avformat_close_input(&in);
        return streams;
    }
    streams.resize(in->nb_streams);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        streams[i].type = in->streams[i]->codecpar->codec_type;
        streams[i].codec = in->streams[i]->codecpar->codec_id;
        streams[i].timeBase = in->streams[i]->time_base;
    }
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(in, pkt) >= 0) {
        StreamInfo& s = streams[static_cast<size_t>(pkt->stream_index)];
        if (s.firstPts == AV_NOPTS_VALUE)
            s.firstPts = pkt->pts;
        s.lastPts = pkt->pts;
        s.lastDuration = pkt->duration;
        if (pkt->pts + pkt->duration > s.endPts)
            s.endPts = pkt->pts + pkt->duration;
        ++s.packets;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&in);
    return streams;
}

inline double Seconds(int64_t ts, AVRational tb) {
    return ts * av_q2d(tb);
}

}  // namespace rectest
