#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "dep/QtComponent/ffmpeg/decode-frame-callback.h"
#include "devices/camera-feeder.h"
#include "last-picture-store.h"
#include "recording-controller.h"

class VirtualCameraQueue;

namespace zubench {

// zucamd's picture hook as its decoder thread runs it: the server's
// "connected" gate, then the camera feeder into the queue, the recorder
// (idle, as while nobody records) and the last picture kept for screenshots.
// Besides, it notes when each picture, known by its pts, was published in
// the queue and how long the hook took.
class CameraPathSink : public DecodeFrameCallback {
public:
    using Clock = std::chrono::steady_clock;

    // `pictures`: the pts range noted (0 .. pictures - 1).
    CameraPathSink(VirtualCameraQueue* queue, size_t pictures);

    void OnDecodeFrame(const FrameHolder& frame) override;
    void OnReInitDecoder() override {}

    // Waits until `count` pictures went into the queue; false on time-out.
    bool WaitForPublished(size_t count, std::chrono::milliseconds timeout);
    size_t published();
    // Pictures the feeder refused (never expected: a failure of the path).
    size_t refused();
    // Per pts: when the picture was published (a default time point: never).
    std::vector<Clock::time_point> publishedAt();
    // Per published picture: microseconds spent in the hook.
    std::vector<double> hookMicros();
    // Pictures delivered twice, or with a pts outside the range.
    size_t unexpected();

private:
    std::atomic<bool> connected_{true};
    CameraFeeder feeder_;
    RecordingController recording_;
    LastPictureStore lastPicture_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Clock::time_point> publishedAt_;
    std::vector<double> hookMicros_;
    size_t published_ = 0;
    size_t refused_ = 0;
    size_t unexpected_ = 0;
};

}  // namespace zubench
