#pragma once

#include <cstdint>
#include <string>

#include "platform/client-socket.h"
#include "tools/phone-sim/stream-transport.h"

namespace phonesim {

// The stream over the TCP port the push-play reply names.
class TcpStreamTransport : public StreamTransport {
public:
    explicit TcpStreamTransport(int timeoutMs) : timeoutMs_(timeoutMs) {}

    bool Connect(const std::string& host, uint16_t port, std::string* error);
    bool Send(const char* data, size_t len, std::string* error) override;
    bool Finish(std::string* error) override;
    const char* name() const override { return "TCP"; }

private:
    platform::ClientSocket socket_;
    int timeoutMs_;
};

}  // namespace phonesim
