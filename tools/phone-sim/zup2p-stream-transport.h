#pragma once

#include <memory>
#include <string>

#include "tools/phone-sim/stream-transport.h"

namespace zu {
class Zup2p;
}

namespace phonesim {

// The stream as reliable Zup2p data messages to the port the push-play reply
// names in "udpPort". With a chunk size the byte stream is cut into messages
// of that size regardless of packet boundaries, the way a phone may batch its
// writes; the desktop reassembles packets from any cut.
class Zup2pStreamTransport : public StreamTransport {
public:
    // chunk 0: one message per Send.
    Zup2pStreamTransport(size_t chunk, int timeoutMs);
    ~Zup2pStreamTransport() override;
    Zup2pStreamTransport(const Zup2pStreamTransport&) = delete;
    Zup2pStreamTransport& operator=(const Zup2pStreamTransport&) = delete;

    bool Connect(const std::string& host, int port, std::string* error);
    bool Send(const char* data, size_t len, std::string* error) override;
    bool Flush(std::string* error) override;
    // Flushes, then sends an empty data message: the desktop takes it as the end
    // of the stream, the way a TCP stream ends, once all before it has arrived.
    bool Finish(std::string* error) override;
    const char* name() const override { return "Zup2p"; }

private:
    class Listener;

    bool SendMessage(const char* data, size_t len, std::string* error);

    // The listener outlives the host that calls it.
    std::unique_ptr<Listener> listener_;
    std::unique_ptr<zu::Zup2p> zup2p_;
    unsigned peer_ = 0;
    size_t chunk_;
    int timeoutMs_;
    std::string pending_;
};

}  // namespace phonesim
