#pragma once

#include <cstdint>
#include <string>

#include "platform/client-socket.h"

namespace platform {

// A TCP listener for the loopback peers of tools and tests. accept() waits
// with a time-out and hands the connection over as a ClientSocket.
class ListenSocket {
public:
    ListenSocket() = default;
    ~ListenSocket();
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    // Listens on address:port (port 0: any free port).
    bool listen(const std::string& address, uint16_t port, std::string* error);
    uint16_t port() const { return port_; }
    // An invalid socket on time-out or error.
    ClientSocket accept(int timeoutMs, std::string* error);
    void close();

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace platform
