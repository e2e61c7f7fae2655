#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

class FFmpegRecorder;
class RecordWorker;

// A recording that ended because its file could not be written.
struct RecordingFailure {
    std::string path;     // the file, playable up to the failure
    std::string cause;    // as the system words it ("No space left on device")
    std::string message;  // what to tell the person, in the program's language
};

// One MP4 recording at a time: starting it with the picture size of the
// moment, feeding it pictures (decoder thread) and audio (network thread),
// and ending it. Shared by the main window and the headless server; the host
// shows the messages and opens the finished file's folder as it sees fit.
//
// A recording whose file cannot be written (a full disk) ends by itself: from
// the failure on it no longer counts as recording, the next picture or audio
// block tears it down, and the failure callback tells the host. The file keeps
// everything up to its last complete fragment. Every host tells the person
// through the failure callback, with the one message made here.
class RecordingController {
public:
    // Parameters of every recording: 25 pictures/s at 2,000,000 bit/s,
    // 44,100 Hz mono AAC.
    static constexpr int kFrameRate = 25;
    static constexpr int kVideoBitRate = 2000000;
    static constexpr int kAudioSampleRate = 44100;
    static constexpr int kAudioChannels = 1;

    enum class StartResult { kStarted, kAlreadyRecording, kFailed };
    // A recording that ended by a write error. Called once per failed
    // recording, on whichever thread tore it down (a picture's, a sound
    // block's or Stop's caller); set it before the first Start.
    using FailureCallback = std::function<void(const RecordingFailure& failure)>;

    RecordingController();
    ~RecordingController();
    RecordingController(const RecordingController&) = delete;
    RecordingController& operator=(const RecordingController&) = delete;

    // Starts recording "ZuCam_recoder[<time>].mp4" in `saveDir` at the given
    // picture size (the latest picture's; 0 x 0 when none has come).
    // kFailed with the message to show otherwise.
    StartResult Start(const std::string& saveDir, int width, int height,
                      std::string* failureMessage);
    // Ends the recording and closes the file. The finished file's path, or ""
    // when nothing was recording or the recording had failed.
    std::string Stop();

    void SetFailureCallback(FailureCallback callback) { onFailure_ = std::move(callback); }
    // The message for a recording of `path` ended by `cause`, translated
    // where the host installed a translation.
    static std::string FailureMessage(const std::string& path, const std::string& cause);

    // False once the recording's file could not be written.
    bool IsRecording() const;
    // The file of the current or last recording.
    std::string RecordPath() const;
    // Microseconds since the recording began; 0 when idle.
    int64_t ElapsedUs() const;

    // A picture to record (decoder thread); ignored when idle. Its pts is set
    // to the time since the recording began.
    void PushVideo(const FrameHolder& frame);
    // An audio block to record (network thread); ignored when idle.
    void PushAudio(const FrameHolder& frame);

private:
    // Stops the worker and closes the file; the path when it finished cleanly.
    std::string Finish(std::unique_ptr<FFmpegRecorder> recorder,
                       std::unique_ptr<RecordWorker> worker);
    // Tears down the current recording if its file has failed.
    void EndIfFailed();

    FailureCallback onFailure_;
    mutable std::mutex recordLock_;
    std::unique_ptr<FFmpegRecorder> recorder_;
    std::unique_ptr<RecordWorker> worker_;
    int64_t recordStart_ = 0;
    std::string recordPath_;
};
