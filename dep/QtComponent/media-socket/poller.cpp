#include "dep/QtComponent/media-socket/poller.h"

#include "dep/QtComponent/media-socket/channel.h"

namespace media_socket {

void Poller::AddChannel(Channel* channel) {
    if (!channel)
        return;
    channels_.emplace(channel->Fd(), channel);
}

void Poller::RemoveChannel(Channel* channel) {
    if (!channel)
        return;
    RemoveEntry(channel->Fd(), channel);
}

void Poller::RemoveEntry(int handle, const Channel* channel) {
    auto it = channels_.find(handle);
    if (it != channels_.end() && it->second == channel)
        channels_.erase(it);
}

bool Poller::HasChannel(const Channel* channel) const {
    if (!channel)
        return false;
    auto it = channels_.find(channel->Fd());
    return it != channels_.end() && it->second == channel;
}

}  // namespace media_socket
