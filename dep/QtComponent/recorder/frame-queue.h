#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// A bounded queue of frames between a producer thread and an encoding thread.
// An empty holder is a valid element: the end marker of a recording.
class FrameQueue {
public:
    explicit FrameQueue(size_t capacity);

    // Appends; when full, drops the oldest frame first. Never waits. Returns
    // whether a frame was dropped.
    bool pushDropOldest(FrameHolder frame);
    // Appends, waiting at most `wait` for room; still full after that, drops
    // the oldest frame to make room. Returns whether a frame was dropped.
    bool pushWaitThenDrop(FrameHolder frame, std::chrono::milliseconds wait);
    // Takes the front frame, waiting at most `wait` for one; false when the
    // queue stayed empty.
    bool pop(FrameHolder* out, std::chrono::milliseconds wait);

    size_t size() const;
    size_t capacity() const { return capacity_; }
    // Bytes of frame data held (see FrameBytes).
    size_t bytes() const;
    // The memory one frame's data takes.
    static size_t FrameBytes(const FrameHolder& frame);

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable notFull_;
    std::condition_variable notEmpty_;
    std::deque<FrameHolder> frames_;
    size_t bytes_ = 0;
};
