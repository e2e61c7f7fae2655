#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace bg {

// A bounded-on-demand FIFO between threads. Elements may own resources (ENet
// packets, heap texts); whatever is still queued when the queue dies is handed
// to the release function, so nothing leaks when a consumer stops early.
template <typename T>
class BlockingQueue {
public:
    enum Status : int { kDone = 0, kStopped = 1, kEmpty = 2, kFull = 3 };
    using Release = std::function<void(T&)>;

    explicit BlockingQueue(Release release = nullptr) : release_(std::move(release)) {}
    virtual ~BlockingQueue() {
        stop();
        clear();
    }
    BlockingQueue(const BlockingQueue&) = delete;
    BlockingQueue& operator=(const BlockingQueue&) = delete;

    // Appends without limit.
    int push(const T& item) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopped_)
                return kStopped;
            items_.push_back(item);
        }
        not_empty_.notify_one();
        return kDone;
    }

    // Appends if fewer than `max` elements are queued; otherwise waits for room
    // (forever, or once for up to `timeout_ms`).
    int push(const T& item, std::size_t max, bool wait_forever, int timeout_ms) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto has_room = [&] { return stopped_ || items_.size() < max; };
            if (wait_forever) {
                not_full_.wait(lock, has_room);
            } else if (!has_room() && timeout_ms > 0) {
                not_full_.wait_for(lock, std::chrono::milliseconds(timeout_ms), has_room);
            }
            if (stopped_)
                return kStopped;
            if (items_.size() >= max)
                return kFull;
            items_.push_back(item);
        }
        not_empty_.notify_one();
        return kDone;
    }

    // Copies the front element to `out` and, if `remove`, drops it. Waits for
    // one (forever, or once for up to `timeout_ms`) while the queue is empty.
    int pop(T& out, bool wait_forever, int timeout_ms, bool remove) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto ready = [&] { return stopped_ || !items_.empty(); };
            if (wait_forever) {
                not_empty_.wait(lock, ready);
            } else if (!ready() && timeout_ms > 0) {
                not_empty_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
            }
            if (stopped_)
                return kStopped;
            if (items_.empty())
                return kEmpty;
            out = items_.front();
            if (!remove)
                return kDone;
            items_.pop_front();
        }
        not_full_.notify_one();
        return kDone;
    }

    // Every later operation returns kStopped at once; every waiter wakes.
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        not_empty_.notify_all();
        not_full_.notify_all();
    }

    // Hands every queued element to the release function and empties the
    // queue; used once the consumer is gone.
    void clear() {
        std::deque<T> left;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            left.swap(items_);
        }
        if (release_) {
            for (T& item : left)
                release_(item);
        }
        not_full_.notify_all();
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_.size();
    }

private:
    Release release_;
    bool stopped_ = false;
    mutable std::mutex mutex_;
    std::condition_variable not_empty_;
    std::condition_variable not_full_;
    std::deque<T> items_;
};

}  // namespace bg
