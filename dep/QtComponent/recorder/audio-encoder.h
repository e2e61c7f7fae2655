#pragma once

#include <atomic>
#include <cstdint>

#include "dep/QtComponent/ffmpeg/frame-holder.h"
#include "dep/QtComponent/ffmpeg/pcm-resampler.h"

class FFmpegRecorder;
struct AVAudioFifo;
struct AVCodecContext;
struct AVPacket;

// Turns the phone's PCM blocks into AAC: resamples them to the codec's
// format, collects them in a FIFO and encodes whole codec frames.
class AudioEncoder {
public:
    explicit AudioEncoder(FFmpegRecorder* recorder);
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // Encodes one interleaved signed 16-bit block at any rate and channel count.
    void encode(const FrameHolder& frame);
    // Encodes silence until the audio covers `untilUs` of the recording: a
    // phone that sends no sound (or stops for a while) still gets a sound
    // track that keeps pace with the pictures, so the muxer never holds
    // pictures back waiting for sound, and sound that comes later lands at
    // its own time instead of at the start.
    void encodeSilence(int64_t untilUs);
    // Encodes what the FIFO still holds and drains the encoder. False when
    // the encoder ended with an error.
    bool flush();

    // Samples handed to the encoder so far, as microseconds; read by the
    // video thread for pacing.
    int64_t clockUs() const;
    // Like clockUs, counting the samples still waiting in the FIFO too.
    int64_t queuedUs() const;
    bool failed() const { return error_; }

private:
    bool ensureFifo();
    bool encodeFromFifo(int samples);
    void encodeWholeFrames();
    void sendFrame(AVFrame* frame);

    FFmpegRecorder* recorder_;
    AVCodecContext* context_;
    PcmResampler resampler_;
    AVAudioFifo* fifo_ = nullptr;
    AVPacket* packet_;
    std::atomic<int64_t> totalSamples_{0};
    bool error_ = false;
};
