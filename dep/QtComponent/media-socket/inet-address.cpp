#include "dep/QtComponent/media-socket/inet-address.h"

#include <cstring>

#include "platform/sockets.h"

namespace media_socket {

InetAddress::InetAddress(uint32_t ip_host_order, uint16_t port)
    : ip_(ip_host_order), port_(port), length_(kValidLength) {}

InetAddress::InetAddress(const char* ip, uint16_t port) {
    uint32_t parsed = 0;
    if (!ip || std::strchr(ip, ':') || !platform::ParseIpv4(ip, &parsed))
        return;
    ip_ = parsed;
    port_ = port;
    length_ = kValidLength;
}

std::string InetAddress::ToIp() const {
    if (!IsValid())
        return std::string();
    return platform::FormatIpv4(ip_);
}

}  // namespace media_socket
