#pragma once

#include <cstddef>
#include <map>
#include <vector>

namespace media_socket {

class Channel;

// The set of channels a loop watches, keyed by socket handle. The channels
// are not owned. Touched by the loop thread only.
class Poller {
public:
    virtual ~Poller() = default;

    // Waits up to timeout_ms and appends every channel with returned bits to
    // `active`, in ascending handle order.
    virtual void Poll(int timeout_ms, std::vector<Channel*>& active) = 0;

    // A second add of the same handle is a no-op.
    void AddChannel(Channel* channel);
    void RemoveChannel(Channel* channel);
    // Removes the entry for `handle` only while it still names `channel`; the
    // channel itself is not touched (it may be gone already).
    void RemoveEntry(int handle, const Channel* channel);
    bool HasChannel(const Channel* channel) const;
    size_t Size() const { return channels_.size(); }

protected:
    std::map<int, Channel*> channels_;
};

}  // namespace media_socket
