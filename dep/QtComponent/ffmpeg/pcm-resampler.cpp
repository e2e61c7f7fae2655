#include "dep/QtComponent/ffmpeg/pcm-resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <vector>

#include "hublet/log-sink.h"

namespace {

// FFmpeg's frames own their buffers; this one only lives for one call.
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// Codes outside FFmpeg's table would index past it; they make no context.
AVSampleFormat ToSampleFormat(int format) {
    if (format < 0 || format >= AV_SAMPLE_FMT_NB)
        return AV_SAMPLE_FMT_NONE;
    return static_cast<AVSampleFormat>(format);
}

bool ValidInput(const uint8_t* data, int samples, int rate, int channels, int format) {
    // A block of no samples converts nothing; feeding it to swr would only
    // drain the delay line at the wrong moment.
    return data && samples > 0 && rate > 0 && channels > 0 &&
           ToSampleFormat(format) != AV_SAMPLE_FMT_NONE;
}

}  // namespace

PcmResampler::PcmResampler(int outRate, int outChannels, int outFormat)
    : outRate_(outRate), outChannels_(outChannels), outFormat_(outFormat) {}

PcmResampler::~PcmResampler() {
    release();
}

void PcmResampler::release() {
    swr_free(&context_);
}

bool PcmResampler::ensureContext(int rate, int channels, int format) {
    if (context_ && rate == inRate_ && channels == inChannels_ && format == inFormat_)
        return true;
    inRate_ = rate;
    inChannels_ = channels;
    inFormat_ = format;
    ++rebuildCount_;

    AVChannelLayout outLayout;
    AVChannelLayout inLayout;
    av_channel_layout_default(&outLayout, outChannels_);
    av_channel_layout_default(&inLayout, channels);
    int ret = swr_alloc_set_opts2(&context_, &outLayout, ToSampleFormat(outFormat_), outRate_,
                                  &inLayout, ToSampleFormat(format), rate, 0, nullptr);
    // libswresample leaves a mixing matrix unnormalised for float output, so
    // stereo folded to mono for the recorder came out 3 dB louder than the
    // phone sent it (and clipped on loud input). Integer output is
    // normalised anyway; the limit makes both paths keep the level.
    if (ret >= 0)
        ret = av_opt_set_double(context_, "rematrix_maxval", 1.0, 0);
    if (ret >= 0)
        ret = swr_init(context_);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    if (ret < 0) {
        char text[1024] = {0};
        av_strerror(ret, text, sizeof(text));
        BG_LOGE("avresample_open failed! input: %d-%d-%d, output: %d-%d-%d, error[%s]", rate,
                channels, format, outRate_, outChannels_, outFormat_, text);
        swr_free(&context_);
        return false;
    }
    return true;
}

FrameHolder PcmResampler::resample(const uint8_t* data, int samples, int rate, int channels,
                                   int format) {
    if (!ensureContext(rate, channels, format))
        return FrameHolder();
    if (!ValidInput(data, samples, rate, channels, format))
        return FrameHolder();
    return convert(data, samples);
}

FrameHolder PcmResampler::convert(const uint8_t* data, int samples) {
    const AVSampleFormat format = ToSampleFormat(inFormat_);
    const int bytes = av_samples_get_buffer_size(nullptr, inChannels_, samples, format, 1);
    if (bytes <= 0)
        return FrameHolder();  // the size does not fit in an int

    std::unique_ptr<AVFrame, FrameDeleter> in(av_frame_alloc());
    std::unique_ptr<AVFrame, FrameDeleter> out(av_frame_alloc());
    if (!in || !out)
        return FrameHolder();
    in->sample_rate = inRate_;
    in->format = format;
    in->nb_samples = samples;
    av_channel_layout_default(&in->ch_layout, inChannels_);
    if (av_frame_get_buffer(in.get(), 1) < 0)
        return FrameHolder();

    // Planar input lies plane after plane in `data`; the frame keeps each
    // plane in a buffer of its own, so a single copy of all bytes into
    // data[0] would run past the first plane's buffer.
    std::vector<uint8_t*> source(av_sample_fmt_is_planar(format) ? inChannels_ : 1, nullptr);
    int sourceLinesize = 0;
    if (av_samples_fill_arrays(source.data(), &sourceLinesize, data, inChannels_, samples, format,
                               1) < 0) {
        return FrameHolder();
    }
    av_samples_copy(in->extended_data, source.data(), 0, 0, samples, inChannels_, format);

    out->sample_rate = outRate_;
    out->format = outFormat_;
    av_channel_layout_default(&out->ch_layout, outChannels_);
    if (swr_convert_frame(context_, out.get(), in.get()) < 0)
        return FrameHolder();
    return FrameHolder::Adopt(out.release());
}
