#pragma once

#include <mutex>

#include "dep/QtComponent/recorder/record-params.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

// Owns one MP4 output: the container, the H.264 and AAC encoder contexts and
// the interleaved writing of both streams. Video packets are written one
// packet late, so that each one's duration is known when it is written.
class FFmpegRecorder {
public:
    FFmpegRecorder() = default;
    virtual ~FFmpegRecorder();
    FFmpegRecorder(const FFmpegRecorder&) = delete;
    FFmpegRecorder& operator=(const FFmpegRecorder&) = delete;

    // Creates the file and writes its header. False (and nothing left open)
    // on any failure; each failure is logged.
    virtual bool open(const RecordParams& params);
    // Writes the held video packet and the trailer and frees everything.
    // Safe to call more than once.
    virtual void close();

    AVCodecContext* videoContext() const { return videoContext_; }
    AVCodecContext* audioContext() const { return audioContext_; }

    // Video packets carry pts in microseconds since the recording began.
    void writeVideoPacket(AVPacket* packet);
    // Audio packets carry pts in samples (1 / sample rate).
    void writeAudioPacket(AVPacket* packet);

private:
    bool addVideoStream(const RecordParams& params);
    bool addAudioStream(const RecordParams& params);
    bool openFile(const RecordParams& params);
    void writeHeldVideo(int64_t durationUs);
    void freeAll();

    AVFormatContext* output_ = nullptr;
    AVCodecContext* videoContext_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVPacket* heldVideo_ = nullptr;
    AVCodecContext* audioContext_ = nullptr;
    AVStream* audioStream_ = nullptr;
    bool headerWritten_ = false;
    std::mutex writeMutex_;
};
