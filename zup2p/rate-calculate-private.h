#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

namespace bg {

// The meter behind RateCalculate. Not exported; its clock can be replaced so
// the 1 s and 10 s rules can be checked without waiting for them.
class RateCalculatePrivate {
public:
    using Clock = int64_t (*)();  // microseconds

    // A null clock means cpu_usec_pts.
    explicit RateCalculatePrivate(Clock clock = nullptr);
    virtual ~RateCalculatePrivate();
    RateCalculatePrivate(const RateCalculatePrivate&) = delete;
    RateCalculatePrivate& operator=(const RateCalculatePrivate&) = delete;

    void update(int64_t amount);
    int64_t current_rate();
    void reset();

    // Views of the window, for tests and diagnostics.
    int64_t total();
    int64_t window_start();
    std::size_t sample_count();
    std::size_t free_count();

private:
    struct Sample {
        int64_t amount;
        int64_t time;
    };

    static constexpr int64_t kPauseUs = 10000000;
    static constexpr int64_t kWindowUs = 1000000;
    static constexpr std::size_t kMinSamples = 20;

    int64_t Now() const;
    bool PausedSinceUpdate(int64_t now) const;
    void ResetLocked();
    void TrimLocked(int64_t now);
    Sample* TakeSample();

    Clock clock_;
    int64_t total_ = 0;
    int64_t window_start_ = 0;
    int64_t last_update_ = 0;
    std::mutex lock_;
    std::deque<Sample*> samples_;
    std::deque<Sample*> free_samples_;
};

}  // namespace bg
