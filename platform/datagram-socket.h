#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A UDP socket with blocking-with-time-out receives: listens for
// announcements, or sends one datagram where it is told.
class DatagramSocket {
public:
    DatagramSocket() = default;
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // Binds address:port; address "0.0.0.0" takes datagrams from every
    // interface, port 0 any free port. The address may be shared with other
    // listeners on the same port.
    bool bind(const std::string& address, uint16_t port, std::string* error);
    // Opens an unbound socket for sending only.
    bool open(std::string* error);
    uint16_t localPort() const;

    // Waits up to timeoutMs for one datagram (longer ones are cut to cap).
    // Returns its length, -1 on time-out (*error empty) or failure (*error set).
    // *fromAddress gets the sender's dotted address.
    long receive(char* data, size_t cap, int timeoutMs, std::string* fromAddress,
                 std::string* error);
    bool sendTo(const std::string& address, uint16_t port, const char* data, size_t len,
                std::string* error);
    void close();

private:
    int fd_ = -1;
};

}  // namespace platform
