#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/phone-sim/pacing-scheduler.h"

namespace phonesim {
namespace {

// A clock that moves only when the scheduler sleeps (or the test says so).
struct VirtualTime {
    int64_t now = 1000000;  // does not start at 0: times are relative to Start
    std::vector<int64_t> sleeps;
    PacingScheduler Make() {
        return PacingScheduler([this] { return now; },
                               [this](int64_t us) {
                                   sleeps.push_back(us);
                                   now += us;
                               });
    }
};

TEST(PhoneSimPacingScheduler, PicksTheEarliestTrackAndBreaksTiesByOrder) {
    VirtualTime t;
    PacingScheduler s = t.Make();
    int commands = s.AddTrack();
    int video = s.AddTrack();
    int audio = s.AddTrack();
    int64_t due = -1;
    EXPECT_EQ(s.NextTrack(&due), -1);  // new tracks are finished until given a time
    s.SetDue(video, 0);
    s.SetDue(audio, 0);
    s.SetDue(commands, 0);
    EXPECT_EQ(s.NextTrack(&due), commands);
    EXPECT_EQ(due, 0);
    s.SetDue(commands, 2500000);
    EXPECT_EQ(s.NextTrack(&due), video);
    s.SetDue(video, 33333);
    EXPECT_EQ(s.NextTrack(&due), audio);
    s.SetDue(audio, 20000);
    EXPECT_EQ(s.NextTrack(&due), audio);
    EXPECT_EQ(due, 20000);
    s.Finish(audio);
    EXPECT_TRUE(s.finished(audio));
    EXPECT_EQ(s.NextTrack(&due), video);
    s.Finish(video);
    s.Finish(commands);
    EXPECT_EQ(s.NextTrack(&due), -1);
}

TEST(PhoneSimPacingScheduler, InterleavesThirtyAndFiftyPerSecondInTimeOrder) {
    VirtualTime t;
    PacingScheduler s = t.Make();
    int video = s.AddTrack();
    int audio = s.AddTrack();
    s.SetDue(video, 0);
    s.SetDue(audio, 0);
    s.Start();
    int pictures = 0, blocks = 0;
    int64_t due = 0, last = -1;
    int track;
    while ((track = s.NextTrack(&due)) >= 0 && due < 1000000) {
        ASSERT_GE(due, last);
        last = due;
        s.WaitUntil(due);
        EXPECT_EQ(s.Elapsed(), due);
        if (track == video)
            s.SetDue(video, int64_t(++pictures) * 1000000 / 30);
        if (track == audio)
            s.SetDue(audio, int64_t(++blocks) * 20000);
    }
    EXPECT_EQ(pictures, 30);
    EXPECT_EQ(blocks, 50);
}

TEST(PhoneSimPacingScheduler, LateItemsGoOutAtOnceAndShortSleepsAreResumed) {
    int64_t now = 0;
    int calls = 0;
    // A sleeper that wakes up early (as after a signal): half the time asked.
    PacingScheduler s([&] { return now; },
                      [&](int64_t us) {
                          ++calls;
                          now += us / 2 + 1;
                      });
    s.Start();
    s.WaitUntil(1000);
    EXPECT_GE(s.Elapsed(), 1000);
    EXPECT_GT(calls, 1);
    calls = 0;
    now += 50000;  // a stall: the next item is already late
    s.WaitUntil(2000);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace phonesim
