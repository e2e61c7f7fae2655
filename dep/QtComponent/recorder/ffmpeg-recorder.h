#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "dep/QtComponent/recorder/record-params.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

// Owns one MP4 output: the container, the H.264 and AAC encoder contexts and
// the interleaved writing of both streams. Video packets are written one
// packet late, so that each one's duration is known when it is written.
//
// The MP4 is fragmented (an empty index up front, then self-contained
// fragments of at most about a second, each flushed to the file as it is
// complete): a recording cut short by a full disk, a crash or a kill -9 still
// plays up to its last complete fragment. The first write error ends the
// writing for good: it is logged with its cause, failed() turns true, nothing
// more is written, and close() cuts the file back to its last complete
// fragment so that it plays cleanly to its end.
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

    // True once a write to the file has failed (any thread).
    bool failed() const { return failed_.load(); }
    // The cause of that failure, as FFmpeg words it ("No space left on device").
    std::string failureText() const;

private:
    bool addVideoStream(const RecordParams& params);
    bool addAudioStream(const RecordParams& params);
    bool openFile(const RecordParams& params);
    void writeHeldVideo(int64_t durationUs);
    // Writes one packet (writeMutex_ held); false once writing has failed.
    bool writeLocked(AVPacket* packet);
    void fail(int code);
    void freeAll();

    AVFormatContext* output_ = nullptr;
    AVCodecContext* videoContext_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVPacket* heldVideo_ = nullptr;
    AVCodecContext* audioContext_ = nullptr;
    AVStream* audioStream_ = nullptr;
    bool headerWritten_ = false;
    std::string path_;
    mutable std::mutex writeMutex_;
    std::atomic<bool> failed_{false};
    std::string failureText_;  // guarded by writeMutex_
    // File size after the last write that fully succeeded (writeMutex_).
    int64_t goodSize_ = 0;
};
