#include "tools/phone-sim/zup2p-stream-transport.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/time.h"
#include "zup2p/zup2p.h"

namespace phonesim {
namespace {

// Zup2p's error code for a send queue that stayed full for 500 ms.
constexpr int kQueueFull = 9;
constexpr zu::ChannelType kStreamChannel = zu::kChannelData1;

}  // namespace

// Records what the host reports; called on Zup2p's dispatch thread and, for
// errors raised by a send, on ours.
class Zup2pStreamTransport::Listener : public zu::DataListener {
public:
    void onConnected(unsigned, const char*) override {}
    void onDisconnected(unsigned peer, const char*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (peer == peer_)
            gone_ = true;
    }
    void onError(int code, const char* text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lastCode_ = code;
        lastText_ = text ? text : "";
    }
    void onText(unsigned, const char*) override {}
    void onBinary(unsigned, int, const char*, int) override {}

    void watch(unsigned peer) {
        std::lock_guard<std::mutex> lock(mutex_);
        peer_ = peer;
    }
    bool gone() {
        std::lock_guard<std::mutex> lock(mutex_);
        return gone_;
    }
    // Takes the last error: its code (0 when none) and text.
    int takeError(std::string* text) {
        std::lock_guard<std::mutex> lock(mutex_);
        int code = lastCode_;
        *text = lastText_;
        lastCode_ = 0;
        lastText_.clear();
        return code;
    }

private:
    std::mutex mutex_;
    unsigned peer_ = 0;
    bool gone_ = false;
    int lastCode_ = 0;
    std::string lastText_;
};

Zup2pStreamTransport::Zup2pStreamTransport(size_t chunk, int timeoutMs)
    : listener_(new Listener), zup2p_(new zu::Zup2p), chunk_(chunk), timeoutMs_(timeoutMs) {}

Zup2pStreamTransport::~Zup2pStreamTransport() {
    zup2p_->stop();
}

bool Zup2pStreamTransport::Connect(const std::string& host, int port, std::string* error) {
    zup2p_->run(listener_.get(), 0, 1);
    std::string why;
    if (zup2p_->bindPort() == 0) {
        listener_->takeError(&why);
        *error = "cannot open a local UDP port for Zup2p" + (why.empty() ? "" : ": " + why);
        return false;
    }
    peer_ = zup2p_->makeConnection(host.c_str(), port);
    if (peer_ == 0) {
        listener_->takeError(&why);
        *error = "cannot reach the desktop's Zup2p port " + host + ":" + std::to_string(port) +
                 (why.empty() ? "" : " (" + why + ")");
        return false;
    }
    listener_->watch(peer_);
    return true;
}

bool Zup2pStreamTransport::SendMessage(const char* data, size_t len, std::string* error) {
    // An empty message still needs a valid pointer.
    static const char kNothing = 0;
    int64_t deadline = platform::MonotonicMicros() + int64_t(timeoutMs_) * 1000;
    for (;;) {
        if (listener_->gone()) {
            *error = "the desktop dropped the Zup2p connection";
            return false;
        }
        if (zup2p_->sendBinary(peer_, kStreamChannel, len ? data : &kNothing, static_cast<int>(len),
                               true)) {
            return true;
        }
        std::string why;
        int code = listener_->takeError(&why);
        // A full queue only means the desktop is slow: keep trying within the
        // time-out, as a TCP send would wait for room.
        if (code != kQueueFull || platform::MonotonicMicros() > deadline) {
            *error = "Zup2p send failed" + (why.empty() ? "" : ": " + why);
            return false;
        }
    }
}

bool Zup2pStreamTransport::Send(const char* data, size_t len, std::string* error) {
    if (chunk_ == 0)
        return SendMessage(data, len, error);
    size_t used = 0;
    if (!pending_.empty()) {
        used = std::min(chunk_ - pending_.size(), len);
        pending_.append(data, used);
        if (pending_.size() < chunk_)
            return true;
        if (!SendMessage(pending_.data(), pending_.size(), error))
            return false;
        pending_.clear();
    }
    while (len - used >= chunk_) {
        if (!SendMessage(data + used, chunk_, error))
            return false;
        used += chunk_;
    }
    pending_.append(data + used, len - used);
    return true;
}

bool Zup2pStreamTransport::Flush(std::string* error) {
    if (pending_.empty())
        return true;
    bool ok = SendMessage(pending_.data(), pending_.size(), error);
    pending_.clear();
    return ok;
}

bool Zup2pStreamTransport::Finish(std::string* error) {
    return Flush(error) && SendMessage(nullptr, 0, error);
}

}  // namespace phonesim
