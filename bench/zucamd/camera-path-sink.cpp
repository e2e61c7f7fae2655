#include "bench/zucamd/camera-path-sink.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace zubench {

CameraPathSink::CameraPathSink(VirtualCameraQueue* queue, size_t pictures)
    : feeder_(queue), publishedAt_(pictures) {
    hookMicros_.reserve(pictures);
}

void CameraPathSink::OnDecodeFrame(const FrameHolder& frame) {
    if (!connected_.load())
        return;
    auto t0 = Clock::now();
    bool fed = feeder_.Feed(frame);
    auto fedAt = Clock::now();
    recording_.PushVideo(frame);
    lastPicture_.Store(frame);
    auto t1 = Clock::now();

    long long pts = frame.get()->pts;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fed) {
        ++refused_;
        return;
    }
    ++published_;
    hookMicros_.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    if (pts < 0 || static_cast<size_t>(pts) >= publishedAt_.size() ||
        publishedAt_[pts] != Clock::time_point()) {
        ++unexpected_;
    } else {
        publishedAt_[pts] = fedAt;
    }
    cv_.notify_all();
}

bool CameraPathSink::WaitForPublished(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return published_ >= count; });
}

size_t CameraPathSink::published() {
    std::lock_guard<std::mutex> lock(mutex_);
    return published_;
}

size_t CameraPathSink::refused() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
}

std::vector<CameraPathSink::Clock::time_point> CameraPathSink::publishedAt() {
    std::lock_guard<std::mutex> lock(mutex_);
    return publishedAt_;
}

std::vector<double> CameraPathSink::hookMicros() {
    std::lock_guard<std::mutex> lock(mutex_);
    return hookMicros_;
}

size_t CameraPathSink::unexpected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unexpected_;
}

}  // namespace zubench
