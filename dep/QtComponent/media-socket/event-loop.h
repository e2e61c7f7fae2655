#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace media_socket {

class Channel;
class Poller;
class Timer;

// A single-threaded reactor. One thread runs Loop(); it polls the channels
// for at most 10 ms, dispatches their callbacks, fires due timers and then
// runs the work other threads queued. There is no wake-up signal: queued work
// and Quit() take effect at the end of the current iteration, which is why
// the poll time-out stays short.
//
// Other threads may only call AddChannel, RemoveChannel, AddTimer,
// RemoveTimer, QueueInLoop and Quit; the first four are done at once on the
// loop thread and queued from anywhere else (also before Loop() has started).
class EventLoop {
public:
    static constexpr int kPollTimeoutMs = 10;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Runs the reactor on the calling thread until Quit().
    void Loop();
    void Quit() { quit_.store(true); }

    void AddChannel(Channel* channel);
    void RemoveChannel(Channel* channel);
    // Arming an armed timer changes nothing (its time is not reset); the first
    // firing comes one interval after arming.
    void AddTimer(Timer* timer);
    void RemoveTimer(Timer* timer);
    // Always queued, even on the loop thread: the functor runs at the end of
    // this iteration, or of the next one when queued by a queued functor.
    void QueueInLoop(std::function<void()> functor);

    bool IsInLoopThread() const { return owner_.load() == std::this_thread::get_id(); }
    // True while a thread is inside Loop().
    bool IsRunning() const { return owner_.load() != std::thread::id(); }

    // Loop-thread views for tests and diagnostics.
    size_t ChannelCount() const;
    size_t TimerCount() const { return timers_.size(); }
    bool HasChannel(const Channel* channel) const;

    // The loop's clock in milliseconds (the module host's monotonic clock).
    static int64_t NowMs();

private:
    void AddChannelInLoop(Channel* channel);
    void RemoveChannelInLoop(int handle, Channel* channel);
    void AddTimerInLoop(Timer* timer);
    void RemoveTimerInLoop(Timer* timer);
    void RunTimers();
    void RunPendingFunctors();

    std::atomic<bool> quit_{false};
    std::atomic<std::thread::id> owner_{std::thread::id()};
    std::unique_ptr<Poller> poller_;
    std::vector<std::function<void()>> pending_;
    std::mutex lock_;  // guards pending_ only
    std::vector<Timer*> timers_;
    // Channels reported by the current poll; an entry removed meanwhile is
    // cleared so that its callbacks are not run.
    std::vector<Channel*> active_;
};

}  // namespace media_socket
