#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "server/media-callback.h"

namespace servertest {

// Records every MediaCallback event; waits with time-outs.
class FakeMediaCallback : public MediaCallback {
public:
    struct Picture {
        int width;
        int height;
        int format;
    };

    void OnClientConnected(const char* name) override { add("connected:" + std::string(name)); }
    void OnClientDisconnected() override { add("disconnected"); }
    void OnClientDisconnectedDelay() override { add("disconnected-delay"); }
    void OnVideoFrame(const FrameHolder& frame) override {
        std::lock_guard<std::mutex> lock(mutex_);
        pictures_.push_back({frame.width(), frame.height(), frame.format()});
        cv_.notify_all();
    }
    void OnAudioFrame(const FrameHolder& frame) override {
        std::lock_guard<std::mutex> lock(mutex_);
        audio_.push_back(frame);
        cv_.notify_all();
    }
    void OnScreenShotRequest() override { add("screenshot"); }
    void OnStartRecordRequest() override { add("record-start"); }
    void OnStopRecordRequest() override { add("record-stop"); }

    bool waitEvent(const std::string& event, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const std::string& e : events_) {
                if (e == event)
                    return true;
            }
            return false;
        });
    }
    bool waitPictures(size_t n, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return pictures_.size() >= n; });
    }
    bool waitAudio(size_t n, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return audio_.size() >= n; });
    }
    std::vector<std::string> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::vector<Picture> pictures() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pictures_;
    }
    std::vector<FrameHolder> audio() {
        std::lock_guard<std::mutex> lock(mutex_);
        return audio_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
        pictures_.clear();
        audio_.clear();
    }

private:
    void add(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(e);
        cv_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> events_;
    std::vector<Picture> pictures_;
    std::vector<FrameHolder> audio_;
};

}  // namespace servertest
