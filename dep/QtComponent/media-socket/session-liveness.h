#pragma once

#include <atomic>
#include <cstdint>

namespace media_socket {

// Whether the phone holding the one command connection still shows signs of
// life, so that a newcomer may take over a session that is only held open: a
// host that connects and sends nothing (or a byte now and then), or a phone
// whose app froze while the kernel still answers keep-alive probes.
//
// A session is stale when no push-play completed within kStaleAfterMs of
// connecting, or when neither a complete command frame nor a media packet
// came for kStaleAfterMs. Staleness is only asked when a newcomer knocks:
// nothing is ever closed for it alone, so a phone that waits before it
// push-plays is unaffected.
//
// Begin and PushPlayed come on the loop thread; Activity from the loop
// thread and from Zup2p's dispatch thread. Times are the loop's milliseconds.
class SessionLiveness {
public:
    static constexpr int64_t kStaleAfterMs = 10000;

    // A command connection was accepted.
    void Begin(int64_t now_ms);
    // Its push-play reply went out.
    void PushPlayed() { push_played_.store(true); }
    // A complete command frame or media packet arrived.
    void Activity(int64_t now_ms) { last_activity_ms_.store(now_ms, std::memory_order_relaxed); }
    bool IsStale(int64_t now_ms) const;

private:
    std::atomic<int64_t> connected_ms_{0};
    std::atomic<int64_t> last_activity_ms_{0};
    std::atomic<bool> push_played_{false};
};

}  // namespace media_socket
