#include "dep/QtComponent/media-socket/event-loop.h"

#include <algorithm>

#include "dep/QtComponent/media-socket/channel.h"
#include "dep/QtComponent/media-socket/poll-poller.h"
#include "dep/QtComponent/media-socket/timer.h"
#include "hublet/clock.h"
#include "hublet/interface.h"
#include "platform/time.h"

namespace media_socket {

EventLoop::EventLoop() : poller_(new PollPoller) {}

EventLoop::~EventLoop() = default;

int64_t EventLoop::NowMs() {
    bg::Interface* host = CD;
    if (host && host->clock)
        return host->clock->now(1) / 1000;
    return platform::MonotonicMicros() / 1000;
}

void EventLoop::Loop() {
    // No placeholder socket is kept in the poll set: poll(2) with an empty set
    // simply sleeps for the time-out, whereas an unconnected TCP socket reports
    // POLLHUP at once and would turn the loop into a busy spin.
    owner_.store(std::this_thread::get_id());
    while (!quit_.load()) {
        active_.clear();
        poller_->Poll(kPollTimeoutMs, active_);
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i])
                active_[i]->HandleEvent();
        }
        active_.clear();
        RunTimers();
        RunPendingFunctors();
    }
    owner_.store(std::thread::id());
}

void EventLoop::AddChannel(Channel* channel) {
    if (!channel)
        return;
    if (IsInLoopThread()) {
        AddChannelInLoop(channel);
    } else {
        QueueInLoop([this, channel] { AddChannelInLoop(channel); });
    }
}

void EventLoop::RemoveChannel(Channel* channel) {
    if (!channel)
        return;
    int handle = channel->Fd();
    if (IsInLoopThread()) {
        RemoveChannelInLoop(handle, channel);
    } else {
        // The channel may be destroyed before this runs: only its handle and
        // address travel with the call.
        QueueInLoop([this, handle, channel] { RemoveChannelInLoop(handle, channel); });
    }
}

void EventLoop::AddTimer(Timer* timer) {
    if (!timer)
        return;
    if (IsInLoopThread()) {
        AddTimerInLoop(timer);
    } else {
        QueueInLoop([this, timer] { AddTimerInLoop(timer); });
    }
}

void EventLoop::RemoveTimer(Timer* timer) {
    if (!timer)
        return;
    if (IsInLoopThread()) {
        RemoveTimerInLoop(timer);
    } else {
        QueueInLoop([this, timer] { RemoveTimerInLoop(timer); });
    }
}

void EventLoop::QueueInLoop(std::function<void()> functor) {
    std::lock_guard<std::mutex> guard(lock_);
    pending_.push_back(std::move(functor));
}

size_t EventLoop::ChannelCount() const {
    return poller_->Size();
}

bool EventLoop::HasChannel(const Channel* channel) const {
    return poller_->HasChannel(channel);
}

void EventLoop::AddChannelInLoop(Channel* channel) {
    poller_->AddChannel(channel);
}

void EventLoop::RemoveChannelInLoop(int handle, Channel* channel) {
    poller_->RemoveEntry(handle, channel);
    // A handler earlier in this iteration may drop a channel that the poll
    // also reported (a push-play replaces the stream acceptor): never call it.
    std::replace(active_.begin(), active_.end(), channel, static_cast<Channel*>(nullptr));
}

void EventLoop::AddTimerInLoop(Timer* timer) {
    if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end())
        return;
    timer->SetLast(NowMs());
    timers_.push_back(timer);
}

void EventLoop::RemoveTimerInLoop(Timer* timer) {
    auto it = std::find(timers_.begin(), timers_.end(), timer);
    if (it != timers_.end())
        timers_.erase(it);
}

void EventLoop::RunTimers() {
    const int64_t now = NowMs();
    size_t i = 0;
    while (i < timers_.size()) {
        Timer* timer = timers_[i];
        if (now - timer->Last() < timer->Interval()) {
            ++i;
            continue;
        }
        timer->Fire();
        // The callback may have armed or disarmed timers (itself included):
        // find it again by address and never touch it if it is gone.
        auto it = std::find(timers_.begin(), timers_.end(), timer);
        if (it == timers_.end()) {
            i = 0;  // fired timers now read as not due, so rescanning is safe
            continue;
        }
        size_t at = static_cast<size_t>(it - timers_.begin());
        if (timer->Repeat()) {
            timer->SetLast(now);
        } else {
            timers_.erase(it);
        }
        if (at != i) {
            i = 0;
        } else if (timer->Repeat()) {
            ++i;
        }
    }
}

void EventLoop::RunPendingFunctors() {
    std::vector<std::function<void()>> functors;
    {
        std::lock_guard<std::mutex> guard(lock_);
        functors.swap(pending_);
    }
    for (auto& functor : functors)
        functor();
}

}  // namespace media_socket
