#pragma once

#include <chrono>

#include "tools/zucam-camera/camera-options.h"
#include "tools/zucam-camera/camera-picture.h"
#include "tools/zucam-camera/queue-reader.h"
#include "tools/zucam-camera/y4m-writer.h"

// zucam-camera's run: waits for ZuCam's queue, then copies every newly
// published picture into the Y4M output until a limit, a time-out, a stop
// signal or a failure ends it. Returns the process exit code.
class CameraPump {
public:
    explicit CameraPump(const CameraOptions& options);
    int run();

private:
    using Clock = std::chrono::steady_clock;

    int attachAtStart();
    int loop();
    // Handles one polled result; kContinue to go on, else an exit code.
    int take(QueueReader::Poll result, Clock::time_point now);
    void followWriter(Clock::time_point now);
    void printStats() const;

    static constexpr int kContinue = -1;

    const CameraOptions options_;
    QueueReader reader_;
    Y4mWriter writer_;
    CameraPicture picture_;
    unsigned long long pictures_ = 0;
    unsigned long long torn_ = 0;
    unsigned long long invalid_ = 0;
    Clock::time_point firstPictureAt_{};
    Clock::time_point lastPictureAt_{};
    Clock::time_point lastNewsAt_{};
    Clock::time_point lastCheckAt_{};
};
