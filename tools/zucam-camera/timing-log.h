#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

// The benchmark's view of a camera output: for every phone picture, the
// monotonic times (ns) at which it was noticed, scaled, due at an output tick
// and handed over. Written once per picture, never for repeats.
class TimingLog {
public:
    ~TimingLog();
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }

    void noteReady(uint32_t counter, int64_t noticedNs, int64_t readyNs);
    void noteTick(uint32_t counter, int64_t tickNs);
    // May come from the output's own thread.
    void noteQueued(uint32_t counter, int64_t queuedNs);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    uint32_t counter_ = 0;
    int64_t noticedNs_ = 0;
    int64_t readyNs_ = 0;
    int64_t tickNs_ = 0;
    uint32_t logged_ = 0;
};
