#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace phonesim {

// Interleaves several timed tracks (video pictures, audio blocks, commands) on
// one thread: each track has the time its next item is due, the scheduler says
// which comes first and sleeps until then. Times are microseconds since Start.
// A late item is not skipped: it goes out at once and the track catches up, so
// a stall never drops stream data.
class PacingScheduler {
public:
    using Clock = std::function<int64_t()>;        // monotonic microseconds
    using Sleeper = std::function<void(int64_t)>;  // sleeps about this many microseconds

    PacingScheduler();  // the monotonic clock and a real sleep
    PacingScheduler(Clock clock, Sleeper sleeper);

    // A new track, finished until it gets its first due time.
    int AddTrack();
    void SetDue(int track, int64_t dueMicros);
    void Finish(int track);
    bool finished(int track) const;

    // The unfinished track due first (ties go to the track added first), -1
    // when every track is finished. *due gets its time.
    int NextTrack(int64_t* due) const;

    void Start();
    int64_t Elapsed() const;
    // Sleeps until `dueMicros` after Start; returns at once when it has passed.
    void WaitUntil(int64_t dueMicros);

private:
    struct Track {
        int64_t due = 0;
        bool finished = true;
    };

    Clock clock_;
    Sleeper sleeper_;
    std::vector<Track> tracks_;
    int64_t start_ = 0;
};

}  // namespace phonesim
