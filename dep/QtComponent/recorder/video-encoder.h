#pragma once

#include <atomic>
#include <cstdint>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

class FFmpegRecorder;
struct AVCodecContext;
struct AVPacket;

// Feeds pictures to the recorder's H.264 encoder and passes its packets on.
class VideoEncoder {
public:
    explicit VideoEncoder(FFmpegRecorder* recorder);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Encodes one YUV420P picture of the codec's size, pts in microseconds.
    void encode(const FrameHolder& frame);
    // Sends the end of the stream and writes what the encoder still holds.
    // False when the encoder ended with an error.
    bool flush();

    // pts (µs) of the newest packet the encoder produced; read by the audio
    // thread for pacing.
    int64_t lastPts() const { return lastPts_.load(std::memory_order_relaxed); }

private:
    bool receiveOne();

    FFmpegRecorder* recorder_;
    AVCodecContext* context_;
    AVPacket* packet_;
    std::atomic<int64_t> lastPts_{0};
};
