#pragma once

#include <vector>

#include "dep/QtComponent/media-socket/poller.h"
#include "platform/sockets.h"

namespace media_socket {

// The poller on poll(2).
class PollPoller : public Poller {
public:
    void Poll(int timeout_ms, std::vector<Channel*>& active) override;

private:
    // Reused every iteration so that polling allocates nothing.
    std::vector<platform::PollEntry> entries_;
    std::vector<Channel*> polled_;
};

}  // namespace media_socket
