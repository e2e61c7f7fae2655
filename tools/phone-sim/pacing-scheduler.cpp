#include "tools/phone-sim/pacing-scheduler.h"

#include <chrono>
#include <thread>
#include <utility>

#include "platform/time.h"

namespace phonesim {

PacingScheduler::PacingScheduler()
    : PacingScheduler(platform::MonotonicMicros, [](int64_t micros) {
          std::this_thread::sleep_for(std::chrono::microseconds(micros));
      }) {}

PacingScheduler::PacingScheduler(Clock clock, Sleeper sleeper)
    : clock_(std::move(clock)), sleeper_(std::move(sleeper)) {}

int PacingScheduler::AddTrack() {
    tracks_.push_back(Track());
    return static_cast<int>(tracks_.size()) - 1;
}

void PacingScheduler::SetDue(int track, int64_t dueMicros) {
    tracks_.at(static_cast<size_t>(track)).due = dueMicros;
    tracks_.at(static_cast<size_t>(track)).finished = false;
}

void PacingScheduler::Finish(int track) {
    tracks_.at(static_cast<size_t>(track)).finished = true;
}

bool PacingScheduler::finished(int track) const {
    return tracks_.at(static_cast<size_t>(track)).finished;
}

int PacingScheduler::NextTrack(int64_t* due) const {
    int best = -1;
    for (size_t i = 0; i < tracks_.size(); ++i) {
        if (tracks_[i].finished)
            continue;
        if (best < 0 || tracks_[i].due < tracks_[static_cast<size_t>(best)].due) {
            best = static_cast<int>(i);
        }
    }
    if (best >= 0 && due)
        *due = tracks_[static_cast<size_t>(best)].due;
    return best;
}

void PacingScheduler::Start() {
    start_ = clock_();
}

int64_t PacingScheduler::Elapsed() const {
    return clock_() - start_;
}

void PacingScheduler::WaitUntil(int64_t dueMicros) {
    // Sleeps can end early (signals) or late; loop on the clock, not on the sleep.
    for (;;) {
        int64_t left = dueMicros - Elapsed();
        if (left <= 0)
            return;
        sleeper_(left);
    }
}

}  // namespace phonesim
