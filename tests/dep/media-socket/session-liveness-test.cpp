#include "dep/QtComponent/media-socket/session-liveness.h"

#include <gtest/gtest.h>

namespace media_socket {
namespace {

constexpr int64_t kStale = SessionLiveness::kStaleAfterMs;

// Without a push-play a session is stale 10 s after connecting, however many
// frames it sends; a new connection starts from scratch.
TEST(SessionLivenessTest, NoPushPlayWithinTenSecondsIsStale) {
    SessionLiveness s;
    s.Begin(0);
    s.PushPlayed();
    s.Begin(1000);
    for (int64_t t = 1000; t < 1000 + kStale; t += 500)
        s.Activity(t);
    EXPECT_FALSE(s.IsStale(1000 + kStale - 1));
    EXPECT_TRUE(s.IsStale(1000 + kStale));
}

// After push-play, a frame or packet within every 10 s keeps the session; a
// phone that froze is stale 10 s after its last sign.
TEST(SessionLivenessTest, PushPlayedSessionLivesWhileItShowsSigns) {
    SessionLiveness s;
    s.Begin(0);
    s.PushPlayed();
    for (int64_t t = 2000; t <= 60000; t += 9000) {
        s.Activity(t);
        EXPECT_FALSE(s.IsStale(t + kStale - 1)) << t;
    }
    EXPECT_TRUE(s.IsStale(56000 + kStale));
}

}  // namespace
}  // namespace media_socket
