#pragma once

#include <cstdint>
#include <functional>

namespace media_socket {

// Periodic or one-shot work on a loop. Owned by its user; the loop only
// points at it while it is armed, so it must be removed (EventLoop::RemoveTimer)
// before it is destroyed. The loop's resolution is its 10 ms poll time-out.
class Timer {
public:
    // A repeating timer needs interval_ms > 0.
    Timer(int64_t interval_ms, bool repeat);
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetCallback(std::function<void()> cb) { callback_ = std::move(cb); }

    int64_t Interval() const { return interval_ms_; }
    bool Repeat() const { return repeat_; }
    // Time of the last firing, or of arming, in loop milliseconds.
    int64_t Last() const { return last_ms_; }
    void SetLast(int64_t ms) { last_ms_ = ms; }
    void Fire() {
        if (callback_)
            callback_();
    }

private:
    int64_t interval_ms_;
    int64_t last_ms_ = 0;
    bool repeat_;
    std::function<void()> callback_;
};

}  // namespace media_socket
