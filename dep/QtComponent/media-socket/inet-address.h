#pragma once

#include <cstdint>
#include <string>

namespace media_socket {

// An IPv4 address and port, kept in host byte order. Length() is 16 (the size
// of the OS's IPv4 address record) when valid and 0 when the text it was built
// from is not a dotted IPv4 address, so that binding to it fails.
class InetAddress {
public:
    static constexpr int kValidLength = 16;

    InetAddress() = default;
    InetAddress(uint32_t ip_host_order, uint16_t port);
    // Valid only for dotted IPv4 text; IPv6 texts and names give length 0.
    InetAddress(const char* ip, uint16_t port);

    // The dotted address; empty when the address is not valid.
    std::string ToIp() const;
    uint32_t Ip() const { return ip_; }
    uint16_t Port() const { return port_; }
    int Length() const { return length_; }
    bool IsValid() const { return length_ == kValidLength; }

private:
    uint32_t ip_ = 0;
    uint16_t port_ = 0;
    int length_ = 0;
};

}  // namespace media_socket
