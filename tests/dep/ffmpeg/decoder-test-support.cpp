#include "tests/dep/ffmpeg/decoder-test-support.h"

#include <chrono>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
}

namespace zutest {

void PictureCollector::OnDecodeFrame(const FrameHolder& frame) {
    if (onDelivery)
        onDelivery(frame);
    std::lock_guard<std::mutex> lock(mutex_);
    pictures_.push_back(Picture{frame.width(), frame.height(), frame.format(),
                                static_cast<long long>(frame.get()->pts)});
    if (keepFrames)
        kept.push_back(frame);
    cv_.notify_all();
}

std::vector<Picture> PictureCollector::pictures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pictures_;
}

size_t PictureCollector::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pictures_.size();
}

bool PictureCollector::waitFor(size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return pictures_.size() >= n; });
}

bool WaitDrained(const H264Decoder& decoder, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (decoder.pendingCount() > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool FeedPaced(H264Decoder& decoder, const std::vector<AccessUnit>& units, long long first) {
    for (size_t i = 0; i < units.size(); ++i) {
        if (!WaitDrained(decoder, 5000))
            return false;
        decoder.pushPacket(ToPacket(units[i], first + static_cast<long long>(i)));
    }
    return WaitDrained(decoder, 5000);
}

void WaitQuiet(const PictureCollector& collector, int quietMs, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t last = collector.count();
    auto lastChange = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        size_t now = collector.count();
        if (now != last) {
            last = now;
            lastChange = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastChange >
                   std::chrono::milliseconds(quietMs)) {
            return;
        }
    }
}

}  // namespace zutest
