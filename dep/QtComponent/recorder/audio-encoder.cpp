#include "dep/QtComponent/recorder/audio-encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "hublet/log-sink.h"

namespace {

int OutRate(AVCodecContext* c) {
    return c ? c->sample_rate : 0;
}
int OutChannels(AVCodecContext* c) {
    return c ? c->ch_layout.nb_channels : 0;
}
int OutFormat(AVCodecContext* c) {
    return c ? c->sample_fmt : AV_SAMPLE_FMT_FLTP;
}

}  // namespace

AudioEncoder::AudioEncoder(FFmpegRecorder* recorder)
    : recorder_(recorder),
      context_(recorder->audioContext()),
      resampler_(OutRate(context_), OutChannels(context_), OutFormat(context_)),
      packet_(av_packet_alloc()) {}

AudioEncoder::~AudioEncoder() {
    if (fifo_)
        av_audio_fifo_free(fifo_);
    av_packet_free(&packet_);
}

int64_t AudioEncoder::clockUs() const {
    if (!context_ || context_->sample_rate <= 0)
        return 0;
    return totalSamples_.load(std::memory_order_relaxed) * 1000000 / context_->sample_rate;
}

int64_t AudioEncoder::queuedUs() const {
    if (!context_ || context_->sample_rate <= 0)
        return 0;
    const int64_t pending = fifo_ ? av_audio_fifo_size(fifo_) : 0;
    return (totalSamples_.load(std::memory_order_relaxed) + pending) * 1000000 /
           context_->sample_rate;
}

bool AudioEncoder::ensureFifo() {
    if (!fifo_)
        fifo_ = av_audio_fifo_alloc(context_->sample_fmt, context_->ch_layout.nb_channels, 1);
    return fifo_ != nullptr;
}

void AudioEncoder::encode(const FrameHolder& frame) {
    if (error_ || !context_ || !packet_ || !frame)
        return;
    AVFrame* in = frame.get();
    FrameHolder converted = resampler_.resample(in->data[0], in->nb_samples, in->sample_rate,
                                                in->ch_layout.nb_channels, in->format);
    if (!converted || !ensureFifo())
        return;
    AVFrame* out = converted.get();
    int ret = av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out->data), out->nb_samples);
    if (ret < out->nb_samples) {
        char text[64] = {0};
        av_strerror(ret, text, sizeof(text) - 1);
        BG_LOGE("audio fifo write fail ret=%d, %s, nb_samples=%d, have=%d", ret, text,
                out->nb_samples, av_audio_fifo_size(fifo_));
        error_ = true;
        return;
    }
    encodeWholeFrames();
}

void AudioEncoder::encodeWholeFrames() {
    while (!error_ && context_->frame_size > 0 && av_audio_fifo_size(fifo_) >= context_->frame_size)
        encodeFromFifo(context_->frame_size);
}

void AudioEncoder::encodeSilence(int64_t untilUs) {
    if (error_ || !context_ || !packet_ || context_->sample_rate <= 0 ||
        context_->frame_size <= 0 || untilUs <= 0 || !ensureFifo()) {
        return;
    }
    const int64_t target = untilUs * context_->sample_rate / 1000000;
    int64_t missing =
        target - totalSamples_.load(std::memory_order_relaxed) - av_audio_fifo_size(fifo_);
    if (missing <= 0)
        return;
    // One codec frame of silence at a time, so the FIFO never holds more
    // than two frames whatever the gap.
    const int chunk = context_->frame_size;
    const int channels = context_->ch_layout.nb_channels;
    uint8_t** silence = nullptr;
    if (av_samples_alloc_array_and_samples(&silence, nullptr, channels, chunk, context_->sample_fmt,
                                           0) < 0) {
        error_ = true;
        return;
    }
    av_samples_set_silence(silence, 0, chunk, channels, context_->sample_fmt);
    while (missing > 0 && !error_) {
        const int n = static_cast<int>(std::min<int64_t>(missing, chunk));
        if (av_audio_fifo_write(fifo_, reinterpret_cast<void**>(silence), n) < n) {
            BG_LOGE("audio fifo write fail while filling silence, nb_samples=%d", n);
            error_ = true;
            break;
        }
        missing -= n;
        encodeWholeFrames();
    }
    av_freep(&silence[0]);
    av_freep(&silence);
}

bool AudioEncoder::encodeFromFifo(int samples) {
    AVFrame* f = av_frame_alloc();
    if (!f) {
        error_ = true;
        return false;
    }
    f->nb_samples = samples;
    av_channel_layout_copy(&f->ch_layout, &context_->ch_layout);
    f->sample_rate = context_->sample_rate;
    f->format = context_->sample_fmt;
    if (av_frame_get_buffer(f, 1) < 0 ||
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(f->data), samples) < samples) {
        BG_LOGE("fifo read err: %s", "short read");
        av_frame_free(&f);
        error_ = true;
        return false;
    }
    // The first frame's pts is its own length, not 0: the running total is
    // advanced before it is stamped.
    int64_t total = totalSamples_.fetch_add(samples, std::memory_order_relaxed) + samples;
    f->pts = total;
    f->pkt_duration = samples;
    sendFrame(f);
    av_frame_free(&f);
    return !error_;
}

void AudioEncoder::sendFrame(AVFrame* frame) {
    int ret;
    do {
        if (avcodec_receive_packet(context_, packet_) == 0) {
            if (packet_->size > 0)
                recorder_->writeAudioPacket(packet_);
            av_packet_unref(packet_);
        }
        ret = avcodec_send_frame(context_, frame);
    } while (ret == AVERROR(EAGAIN));
    if (ret < 0)
        error_ = true;
}

bool AudioEncoder::flush() {
    if (!context_ || !packet_)
        return true;
    // AAC takes a shorter last frame, so the tail of the recording is kept
    // rather than dropped with the FIFO.
    if (!error_ && fifo_ && (context_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
        int rest = av_audio_fifo_size(fifo_);
        if (rest > 0)
            encodeFromFifo(rest);
    }
    avcodec_send_frame(context_, nullptr);
    int ret;
    do {
        ret = avcodec_receive_packet(context_, packet_);
        if (ret == 0) {
            if (packet_->size > 0)
                recorder_->writeAudioPacket(packet_);
            av_packet_unref(packet_);
        }
    } while (ret == 0);
    return !error_ && !(ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN));
}
