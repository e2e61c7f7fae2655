#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "dep/QtComponent/ffmpeg/decode-frame-callback.h"
#include "dep/QtComponent/ffmpeg/h264-decoder.h"
#include "tests/dep/ffmpeg/h264-test-stream.h"

namespace zutest {

// What a test remembers of one delivered picture.
struct Picture {
    int width = 0;
    int height = 0;
    int format = -1;
    long long pts = 0;
};

// A frame sink that records every delivery and can keep the pictures.
class PictureCollector : public DecodeFrameCallback {
public:
    void OnDecodeFrame(const FrameHolder& frame) override;
    void OnReInitDecoder() override { ++reinitRequests; }
    void OnUnsupportedFormat(int pixelFormat) override {
        unsupportedFormat = pixelFormat;
        ++unsupportedReports;
    }

    std::vector<Picture> pictures() const;
    size_t count() const;
    // Waits up to timeoutMs until at least n pictures arrived.
    bool waitFor(size_t n, int timeoutMs) const;

    // Runs inside every delivery, on the decode thread, before recording.
    std::function<void(const FrameHolder&)> onDelivery;
    // Keeps a copy of every holder (taking its own reference).
    bool keepFrames = false;
    std::vector<FrameHolder> kept;

    std::atomic<int> reinitRequests{0};
    std::atomic<int> unsupportedReports{0};
    std::atomic<int> unsupportedFormat{-1};

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Picture> pictures_;
};

// Waits up to timeoutMs until the decoder has taken every pending packet.
bool WaitDrained(const H264Decoder& decoder, int timeoutMs);

// Pushes the units one by one, each only once the previous one was taken, so
// no group-of-pictures start discards anything. Packet i gets pts first + i.
// False when the decoder did not keep up within a few seconds.
bool FeedPaced(H264Decoder& decoder, const std::vector<AccessUnit>& units, long long first = 0);

// Waits until no picture arrived for quietMs (at most timeoutMs in all).
void WaitQuiet(const PictureCollector& collector, int quietMs, int timeoutMs);

}  // namespace zutest
