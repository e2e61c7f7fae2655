#pragma once

#include <functional>
#include <future>
#include <thread>

#include "dep/QtComponent/media-socket/event-loop.h"

namespace mstest {

// Runs an EventLoop on a thread of its own for one test; quits and joins it
// when destroyed.
class LoopRunner {
public:
    LoopRunner() = default;
    ~LoopRunner() { Stop(); }
    LoopRunner(const LoopRunner&) = delete;
    LoopRunner& operator=(const LoopRunner&) = delete;

    media_socket::EventLoop* loop() { return &loop_; }
    void Start() {
        thread_ = std::thread([this] { loop_.Loop(); });
    }
    void Stop() {
        loop_.Quit();
        if (thread_.joinable())
            thread_.join();
    }
    // Runs `fn` on the loop thread and waits (at most 2 s) for it.
    bool RunInLoop(const std::function<void()>& fn) {
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> f = done->get_future();
        loop_.QueueInLoop([fn, done] {
            fn();
            done->set_value();
        });
        return f.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    }

private:
    media_socket::EventLoop loop_;
    std::thread thread_;
};

}  // namespace mstest
