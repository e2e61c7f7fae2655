#include "dep/QtComponent/recorder/frame-queue.h"

#include <utility>

extern "C" {
#include <libavutil/frame.h>
}

FrameQueue::FrameQueue(size_t capacity) : capacity_(capacity ? capacity : 1) {}

bool FrameQueue::pushDropOldest(FrameHolder frame) {
    return pushWaitThenDrop(std::move(frame), std::chrono::milliseconds(0));
}

bool FrameQueue::pushWaitThenDrop(FrameHolder frame, std::chrono::milliseconds wait) {
    bool dropped = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        notFull_.wait_for(lock, wait, [this] { return frames_.size() < capacity_; });
        if (frames_.size() >= capacity_) {
            bytes_ -= FrameBytes(frames_.front());
            frames_.pop_front();
            dropped = true;
        }
        bytes_ += FrameBytes(frame);
        frames_.push_back(std::move(frame));
    }
    notEmpty_.notify_one();
    return dropped;
}

bool FrameQueue::pop(FrameHolder* out, std::chrono::milliseconds wait) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!notEmpty_.wait_for(lock, wait, [this] { return !frames_.empty(); }))
            return false;
        *out = std::move(frames_.front());
        frames_.pop_front();
        bytes_ -= FrameBytes(*out);
    }
    notFull_.notify_one();
    return true;
}

size_t FrameQueue::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

size_t FrameQueue::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

size_t FrameQueue::FrameBytes(const FrameHolder& frame) {
    const AVFrame* f = frame.get();
    if (!f)
        return 0;
    size_t bytes = 0;
    for (const AVBufferRef* buf : f->buf) {
        if (buf)
            bytes += buf->size;
    }
    return bytes;
}
