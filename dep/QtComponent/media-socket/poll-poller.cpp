#include "dep/QtComponent/media-socket/poll-poller.h"

#include <cstdio>

#include "dep/QtComponent/media-socket/channel.h"

namespace media_socket {

void PollPoller::Poll(int timeout_ms, std::vector<Channel*>& active) {
    entries_.clear();
    polled_.clear();
    for (const auto& entry : channels_) {
        Channel* channel = entry.second;
        if (channel->Fd() == -1)
            continue;
        int events = 0;
        if (channel->Interest() & Channel::kReadEvent)
            events |= platform::kPollReadable;
        if (channel->Interest() & Channel::kWriteEvent)
            events |= platform::kPollWritable;
        if (!events)
            continue;
        entries_.push_back(platform::PollEntry{channel->Fd(), events, 0});
        polled_.push_back(channel);
    }
    int n = platform::PollSockets(entries_.data(), entries_.size(), timeout_ms);
    if (n < 0) {
        std::fprintf(stderr, "poll: %lu\n",
                     static_cast<unsigned long>(platform::LastSocketError()));
        return;
    }
    if (n == 0)
        return;
    for (size_t i = 0; i < entries_.size(); ++i) {
        int r = entries_[i].revents;
        if (!r)
            continue;
        int bits = 0;
        if (r & platform::kPollReadable)
            bits |= Channel::kReadEvent;
        if (r & platform::kPollWritable)
            bits |= Channel::kWriteEvent;
        if (r & platform::kPollFailed)
            bits |= Channel::kCloseEvent;
        polled_[i]->SetReturned(bits);
        active.push_back(polled_[i]);
    }
}

}  // namespace media_socket
