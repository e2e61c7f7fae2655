#include "tools/zucam-camera/timing-log.h"

TimingLog::~TimingLog() {
    if (file_)
        std::fclose(file_);
}

bool TimingLog::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void TimingLog::noteReady(uint32_t counter, int64_t noticedNs, int64_t readyNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    counter_ = counter;
    noticedNs_ = noticedNs;
    readyNs_ = readyNs;
    tickNs_ = 0;
}

void TimingLog::noteTick(uint32_t counter, int64_t tickNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (counter == counter_ && tickNs_ == 0)
        tickNs_ = tickNs;
}

void TimingLog::noteQueued(uint32_t counter, int64_t queuedNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_ || counter == 0 || counter != counter_ || counter == logged_ || tickNs_ == 0)
        return;
    logged_ = counter;
    std::fprintf(file_, "%u %lld %lld %lld %lld\n", counter, (long long)noticedNs_,
                 (long long)readyNs_, (long long)tickNs_, (long long)queuedNs);
    std::fflush(file_);
}
