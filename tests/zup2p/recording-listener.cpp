#include "tests/zup2p/recording-listener.h"

#include <chrono>

namespace zutest {

void RecordingListener::onConnected(unsigned peer_id, const char* desc) {
    add({"connected", peer_id, 0, 0, desc, std::this_thread::get_id()});
}

void RecordingListener::onDisconnected(unsigned peer_id, const char* desc) {
    add({"disconnected", peer_id, 0, 0, desc, std::this_thread::get_id()});
}

void RecordingListener::onError(int code, const char* text) {
    add({"error", 0, code, 0, text, std::this_thread::get_id()});
}

void RecordingListener::onText(unsigned peer_id, const char* text) {
    add({"text", peer_id, 0, 0, text, std::this_thread::get_id()});
}

void RecordingListener::onBinary(unsigned peer_id, int channel, const char* data, int len) {
    add({"binary", peer_id, 0, channel, std::string(data, static_cast<std::size_t>(len)),
         std::this_thread::get_id()});
}

void RecordingListener::setHook(std::function<void(const PeerEvent&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

void RecordingListener::add(PeerEvent event) {
    std::function<void(const PeerEvent&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        hook = hook_;
    }
    cv_.notify_all();
    if (hook)
        hook(event);
}

bool RecordingListener::waitFor(const std::string& kind, int timeout_ms, PeerEvent* out, int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto nth = [&]() -> const PeerEvent* {
        int seen = 0;
        for (const PeerEvent& e : events_) {
            if (e.kind == kind && ++seen == n)
                return &e;
        }
        return nullptr;
    };
    const bool found =
        cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return nth() != nullptr; });
    if (found && out)
        *out = *nth();
    return found;
}

int RecordingListener::count(const std::string& kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const PeerEvent& e : events_)
        n += e.kind == kind ? 1 : 0;
    return n;
}

std::vector<PeerEvent> RecordingListener::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

}  // namespace zutest
