#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zup2p/data-listener.h"

namespace zutest {

// One listener call as the test saw it.
struct PeerEvent {
    std::string kind;  // "connected", "disconnected", "error", "text", "binary"
    unsigned peer_id = 0;
    int code = 0;      // errors
    int channel = 0;   // binary
    std::string data;  // desc, error text, text or bytes
    std::thread::id thread;
};

// Records every call of a Zup2p host and lets tests wait for one.
class RecordingListener : public zu::DataListener {
public:
    void onConnected(unsigned peer_id, const char* desc) override;
    void onDisconnected(unsigned peer_id, const char* desc) override;
    void onError(int code, const char* text) override;
    void onText(unsigned peer_id, const char* text) override;
    void onBinary(unsigned peer_id, int channel, const char* data, int len) override;

    // Runs inside every callback, after the event is recorded.
    void setHook(std::function<void(const PeerEvent&)> hook);

    // Waits up to timeout_ms for the n-th (from 1) event of that kind.
    bool waitFor(const std::string& kind, int timeout_ms, PeerEvent* out = nullptr, int n = 1);
    int count(const std::string& kind) const;
    std::vector<PeerEvent> events() const;

private:
    void add(PeerEvent event);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<PeerEvent> events_;
    std::function<void(const PeerEvent&)> hook_;
};

}  // namespace zutest
