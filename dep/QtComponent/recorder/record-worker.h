#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "dep/QtComponent/ffmpeg/frame-holder.h"
#include "dep/QtComponent/ffmpeg/frame-scaler.h"
#include "dep/QtComponent/recorder/audio-encoder.h"
#include "dep/QtComponent/recorder/frame-queue.h"
#include "dep/QtComponent/recorder/video-encoder.h"

class FFmpegRecorder;

// Runs a recording: one encoding thread for video and one for audio, each fed
// by a bounded queue, paced so that audio never runs more than 50 ms ahead of
// video and video never more than 2 s ahead of audio.
//
// While no sound comes (a phone with its microphone off, or a pause), the
// audio thread records silence up to the pictures' time, so the file grows
// with the pictures and late sound keeps its place.
//
// Neither push ever blocks its producer for long: a full video queue drops its
// oldest picture at once; a full audio queue waits at most 100 ms and then
// drops its oldest block, so a stalled video stream can neither freeze the
// network thread that delivers audio nor deadlock stop().
class RecordWorker {
public:
    static constexpr size_t kVideoQueueCapacity = 10;
    static constexpr size_t kAudioQueueCapacity = 500;
    static constexpr int kAudioPushWaitMs = 100;
    // Audio waiting for a stalled video clock holds at most this much: 500
    // blocks of a real phone are under 2 MB, 500 one-second blocks at
    // 192 kHz and 8 channels would be 1.5 GB.
    static constexpr size_t kAudioQueueByteLimit = 32u << 20;

    // `recorder` must be open and outlive the worker.
    explicit RecordWorker(FFmpegRecorder* recorder);
    ~RecordWorker();
    RecordWorker(const RecordWorker&) = delete;
    RecordWorker& operator=(const RecordWorker&) = delete;

    void start();
    // A picture whose pts is in microseconds since the recording began.
    void pushVideo(FrameHolder frame);
    // An audio block as received: signed 16-bit interleaved, at a rate and
    // channel count PcmResampler::acceptsInput takes and of at most one
    // second; other blocks are ignored.
    void pushAudio(FrameHolder frame);
    // Ends both threads after they have drained their queues. Returns once
    // both are joined.
    void stop();

    bool videoFailed() const { return videoError_.load(); }
    bool audioFailed() const { return audioError_.load(); }
    bool hasVideo() const { return videoEncoder_ != nullptr; }
    bool hasAudio() const { return audioEncoder_ != nullptr; }
    // Microseconds of sound encoded so far, silence included.
    int64_t audioClockUs() const { return audioEncoder_ ? audioEncoder_->clockUs() : 0; }
    // Pictures and audio blocks dropped from full queues.
    unsigned long droppedVideo() const { return droppedVideo_.load(); }
    unsigned long droppedAudio() const { return droppedAudio_.load(); }

private:
    void videoLoop();
    void audioLoop();
    bool nextFrame(FrameQueue* queue, FrameHolder* out);
    bool pacingApplies() const;
    // Silence up to the newest picture when the sound lags it by more than
    // a moment (or, `soundResumes`, at once before sound after silence).
    void fillSilence(bool soundResumes);

    FFmpegRecorder* recorder_;
    std::unique_ptr<VideoEncoder> videoEncoder_;
    std::unique_ptr<AudioEncoder> audioEncoder_;
    std::atomic<bool> stopped_{true};
    std::atomic<bool> videoError_{false};
    std::atomic<bool> audioError_{false};
    std::thread videoThread_;
    std::thread audioThread_;
    FrameQueue videoQueue_;
    FrameQueue audioQueue_;
    std::unique_ptr<FrameScaler> scaler_;
    std::atomic<unsigned long> droppedVideo_{0};
    std::atomic<unsigned long> droppedAudio_{0};
    std::atomic<bool> audioDropLogged_{false};
    bool inSilence_ = false;  // audio thread only
};
