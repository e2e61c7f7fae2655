#include "dep/QtComponent/media-socket/session-liveness.h"

#include <gtest/gtest.h>

namespace media_socket {
namespace {

constexpr int64_t kStale = SessionLiveness::kStaleAfterMs;

// A holder that never push-plays is stale 10 s after connecting, however
// many complete frames it sends (pings keep no session).
TEST(SessionLivenessTest, NoPushPlayWithinTenSecondsIsStaleEvenWithFrames) {
    SessionLiveness s;
    s.Begin(1000);
    for (int64_t t = 1000; t < 1000 + kStale; t += 500)
        s.Activity(t);
    EXPECT_FALSE(s.IsStale(1000 + kStale - 1));
    EXPECT_TRUE(s.IsStale(1000 + kStale));
}

// After push-play, a frame or packet within each 10 s keeps the session.
TEST(SessionLivenessTest, PushPlayedSessionLivesWhileItShowsSigns) {
    SessionLiveness s;
    s.Begin(0);
    s.Activity(2000);
    s.PushPlayed();
    for (int64_t t = 2000; t <= 60000; t += 9000) {
        s.Activity(t);
        EXPECT_FALSE(s.IsStale(t + kStale - 1)) << t;
    }
    // A phone that froze: nothing for 10 s.
    EXPECT_TRUE(s.IsStale(56000 + kStale));
}

// A new connection starts from scratch: the push-play of the previous one
// does not count for it.
TEST(SessionLivenessTest, BeginForgetsThePreviousSession) {
    SessionLiveness s;
    s.Begin(0);
    s.PushPlayed();
    s.Activity(50000);
    s.Begin(100000);
    EXPECT_FALSE(s.IsStale(100000 + kStale - 1));
    s.Activity(105000);
    EXPECT_TRUE(s.IsStale(100000 + kStale));
}

}  // namespace
}  // namespace media_socket
