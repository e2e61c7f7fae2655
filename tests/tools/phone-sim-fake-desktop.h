#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/client-socket.h"
#include "platform/listen-socket.h"

namespace zu {
class Zup2p;
}

namespace phonesim_test {

// One stream packet as the desktop would parse it.
struct StreamPacket {
    uint32_t type = 0;
    std::vector<uint32_t> expansion;
    std::string payload;
};

// Cuts a stream byte sequence into packets; false (with the reason) on a
// malformed or incomplete packet.
bool ParseStream(const std::string& bytes, std::vector<StreamPacket>* out, std::string* error);
// The --log-packets line a packet should have produced.
std::string LogLineOf(const StreamPacket& packet);

// A minimal desktop on 127.0.0.1: accepts one command connection, answers
// push-play with a stream port (or a Zup2p port) and a key, records the stream
// bytes, answers the phone commands, and closes the link when the stream ends,
// as ZuCam does. What it does wrong on purpose is set by the Script.
class FakeDesktop {
public:
    enum class PushPlay { kAccept, kRefuse, kNoPort, kCloseWithoutReply, kSilent, kOversizedReply };
    struct Script {
        PushPlay pushPlay = PushPlay::kAccept;
        std::set<int> refusedTypes;  // answered with "type" 1, then the link closes
        size_t dropAfterBytes = 0;   // close the link after this many stream bytes (0: never)
    };
    static constexpr const char* kKey = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
    static constexpr const char* kName = "Fake Desk";

    FakeDesktop();
    explicit FakeDesktop(Script script);
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    uint16_t port() const { return port_; }
    // Waits (bounded) for the serving thread to finish.
    void Join();

    std::vector<std::string> requests() const;
    // Seconds from the first request (push-play) to the arrival of each request.
    std::vector<double> requestTimes() const;
    std::string streamBytes() const;
    bool streamEnded() const { return streamEnded_; }
    std::string failure() const;  // what went wrong inside the fake itself

private:
    class UdpSink;

    void Serve(platform::ListenSocket* listener);
    bool Handle(const std::string& body, platform::ClientSocket* cmd);
    bool Reply(platform::ClientSocket* cmd, const std::string& json);
    bool StartTcpStream(uint16_t* port);
    void ReceiveTcpStream();
    void AppendStream(const char* data, size_t len);
    void EndStream();
    void Fail(const std::string& why);

    Script script_;
    uint16_t port_ = 0;
    std::unique_ptr<platform::ListenSocket> commandListener_;
    std::unique_ptr<platform::ListenSocket> streamListener_;
    std::unique_ptr<UdpSink> udpSink_;
    std::unique_ptr<zu::Zup2p> zup2p_;
    std::thread serveThread_;
    std::thread streamThread_;
    std::atomic<bool> streamEnded_{false};
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> requests_;
    std::vector<int64_t> requestMicros_;
    std::string stream_;
    std::string failure_;
};

}  // namespace phonesim_test
