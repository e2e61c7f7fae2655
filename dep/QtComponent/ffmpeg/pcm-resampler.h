#pragma once

#include <cstdint>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

struct SwrContext;

// Converts interleaved PCM to one fixed output format with libswresample. The
// conversion context is made for the input parameters of the first call and
// remade only when they change, so the filter state (and the samples it holds
// back between calls) survives a steady stream. Not thread-safe: one caller
// at a time.
class PcmResampler {
public:
    // The phone audio the microphone and the recorder take: anything else is
    // no real microphone, and a rate far below the output's would make one
    // block expand into gigabytes.
    static constexpr int kMinInputRate = 8000;
    static constexpr int kMaxInputRate = 192000;
    static constexpr int kMaxInputChannels = 8;
    static bool acceptsInput(long long rate, long long channels) {
        return rate >= kMinInputRate && rate <= kMaxInputRate && channels >= 1 &&
               channels <= kMaxInputChannels;
    }

    // Output sample rate, channel count and FFmpeg sample format code
    // (AVSampleFormat: 1 = signed 16-bit interleaved, 8 = float planar).
    PcmResampler(int outRate, int outChannels, int outFormat);
    ~PcmResampler();
    PcmResampler(const PcmResampler&) = delete;
    PcmResampler& operator=(const PcmResampler&) = delete;

    // Converts `samples` samples per channel at `data`. For a packed format
    // the samples are interleaved; for a planar one the planes follow each
    // other. Returns the converted frame (which may hold fewer or more samples
    // than went in: the filter delays a few), or an empty holder when nothing
    // could be converted. A context that cannot be made is logged once per
    // attempt and yields empty results.
    FrameHolder resample(const uint8_t* data, int samples, int rate, int channels, int format);
    // Frees the conversion context; the next call makes a new one.
    void release();

    // How many times a conversion context has been made (diagnostics, tests).
    int rebuildCount() const { return rebuildCount_; }

private:
    bool ensureContext(int rate, int channels, int format);
    FrameHolder convert(const uint8_t* data, int samples);

    int outRate_;
    int outChannels_;
    int outFormat_;
    int inRate_ = 0;
    int inChannels_ = 0;
    int inFormat_ = -1;
    SwrContext* context_ = nullptr;
    int rebuildCount_ = 0;
};
