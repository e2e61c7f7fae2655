#include "zup2p/rate-calculate-private.h"

#include <cstdlib>
#include <limits>

#include "zup2p/cpu-pts.h"

namespace bg {

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// Amounts are positive, so the total only saturates, never wraps.
int64_t SaturatingAdd(int64_t a, int64_t b) {
    return a > kMax - b ? kMax : a + b;
}

}  // namespace

RateCalculatePrivate::RateCalculatePrivate(Clock clock) : clock_(clock ? clock : &cpu_usec_pts) {
    window_start_ = last_update_ = Now();
}

RateCalculatePrivate::~RateCalculatePrivate() {
    for (Sample* s : samples_)
        std::free(s);
    for (Sample* s : free_samples_)
        std::free(s);
}

int64_t RateCalculatePrivate::Now() const {
    return clock_();
}

// A clock reading older than the last update counts as no pause.
bool RateCalculatePrivate::PausedSinceUpdate(int64_t now) const {
    return now - last_update_ > kPauseUs;
}

void RateCalculatePrivate::ResetLocked() {
    total_ = 0;
    window_start_ = last_update_ = Now();
    for (Sample* s : samples_)
        free_samples_.push_back(s);
    samples_.clear();
}

// Keeps at least the newest samples, and beyond them only those younger than
// the window.
void RateCalculatePrivate::TrimLocked(int64_t now) {
    bool dropped = false;
    while (samples_.size() > kMinSamples && now - samples_.front()->time >= kWindowUs) {
        Sample* oldest = samples_.front();
        samples_.pop_front();
        total_ -= oldest->amount;
        free_samples_.push_back(oldest);
        dropped = true;
    }
    if (dropped)
        window_start_ = samples_.front()->time;
}

RateCalculatePrivate::Sample* RateCalculatePrivate::TakeSample() {
    if (free_samples_.empty())
        return static_cast<Sample*>(std::malloc(sizeof(Sample)));
    Sample* s = free_samples_.back();
    free_samples_.pop_back();
    return s;
}

void RateCalculatePrivate::update(int64_t amount) {
    if (amount <= 0)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    if (PausedSinceUpdate(Now())) {
        // The first amount after a pause restarts the window; its time is
        // unknown, so it is counted without a sample.
        ResetLocked();
        total_ = amount;
        return;
    }
    const int64_t t = Now();
    last_update_ = t;
    TrimLocked(t);
    Sample* s = TakeSample();
    if (!s)
        return;  // out of memory: the amount is not counted at all
    s->amount = amount;
    s->time = t;
    samples_.push_back(s);
    total_ = SaturatingAdd(total_, amount);
}

int64_t RateCalculatePrivate::current_rate() {
    std::lock_guard<std::mutex> guard(lock_);
    if (PausedSinceUpdate(Now())) {
        ResetLocked();
        return 0;
    }
    const int64_t elapsed = Now() - window_start_;
    if (elapsed <= 0)
        return 0;
    // 128-bit product: a large total times 1e6 must not overflow.
    const __int128 rate = static_cast<__int128>(total_) * 1000000 / elapsed;
    return rate > kMax ? kMax : static_cast<int64_t>(rate);
}

void RateCalculatePrivate::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    ResetLocked();
}

int64_t RateCalculatePrivate::total() {
    std::lock_guard<std::mutex> guard(lock_);
    return total_;
}

int64_t RateCalculatePrivate::window_start() {
    std::lock_guard<std::mutex> guard(lock_);
    return window_start_;
}

std::size_t RateCalculatePrivate::sample_count() {
    std::lock_guard<std::mutex> guard(lock_);
    return samples_.size();
}

std::size_t RateCalculatePrivate::free_count() {
    std::lock_guard<std::mutex> guard(lock_);
    return free_samples_.size();
}

}  // namespace bg
