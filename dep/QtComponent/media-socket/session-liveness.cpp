#include "dep/QtComponent/media-socket/session-liveness.h"

namespace media_socket {

void SessionLiveness::Begin(int64_t now_ms) {
    push_played_.store(false);
    connected_ms_.store(now_ms);
    last_activity_ms_.store(now_ms);
}

bool SessionLiveness::IsStale(int64_t now_ms) const {
    if (!push_played_.load() && now_ms - connected_ms_.load() >= kStaleAfterMs)
        return true;
    return now_ms - last_activity_ms_.load(std::memory_order_relaxed) >= kStaleAfterMs;
}

}  // namespace media_socket
