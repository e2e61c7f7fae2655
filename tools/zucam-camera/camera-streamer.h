#pragma once

#include <chrono>
#include <memory>

#include "tools/zucam-camera/camera-options.h"
#include "tools/zucam-camera/camera-output.h"
#include "tools/zucam-camera/i420-frame.h"
#include "tools/zucam-camera/picture-fitter.h"
#include "tools/zucam-camera/queue-reader.h"
#include "tools/zucam-camera/timing-log.h"

// zucam-camera's run with a camera output: one fixed format for its whole
// life, a picture at every output tick (the newest phone picture, repeated
// while nothing new comes, or the waiting picture while there is no phone),
// whatever ZuCam and the phone do. Returns the process exit code.
class CameraStreamer {
public:
    explicit CameraStreamer(const CameraOptions& options);
    int run();

private:
    using Clock = std::chrono::steady_clock;

    void attach(Clock::time_point now);
    void takeNewPictures(Clock::time_point now);
    void watchState();
    // The typical time between phone pictures, and when to look next.
    void learnInterval(Clock::time_point now);
    Clock::time_point nextPoll(Clock::time_point now) const;
    void followWriter(Clock::time_point now);
    void showWaiting(const char* why);
    // Hands the current picture on; false when the output failed.
    bool tick(Clock::time_point now);
    void printStats() const;

    const CameraOptions options_;
    std::unique_ptr<CameraOutput> output_;
    QueueReader reader_;
    PictureFitter fitter_;
    I420Frame waiting_;
    I420Frame phone_[2];
    int front_ = 0;
    bool showingPhone_ = false;
    uint32_t shownCounter_ = 0;
    int stoppedPolls_ = 0;
    uint32_t lastWidth_ = 0;
    uint32_t lastHeight_ = 0;
    bool saidNotRunning_ = false;
    bool saidUnreadable_ = false;
    TimingLog timing_;
    unsigned long long sent_ = 0;
    unsigned long long pictures_ = 0;
    unsigned long long torn_ = 0;
    Clock::duration period_{};
    Clock::time_point nextTick_{};
    Clock::time_point lastAttachAt_{};
    Clock::time_point lastNewsAt_{};
    Clock::time_point lastCheckAt_{};
    Clock::time_point lastPictureAt_{};
    Clock::duration interval_{};  // zero until two pictures came
};
