#include "platform/datagram-socket.h"
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/time.h"

namespace platform {
namespace {

bool ToAddress(const std::string& text, uint16_t port, sockaddr_in* addr, std::string* error) {
    *addr = sockaddr_in{};
    addr->sin_family = AF_INET;
    addr->sin_port = htons(port);
    if (::inet_pton(AF_INET, text.c_str(), &addr->sin_addr) == 1)
        return true;
    if (error)
        *error = "not an IPv4 address: " + text;
    return false;
}

}  // namespace

DatagramSocket::~DatagramSocket() {
    close();
}

bool DatagramSocket::open(std::string* error) {
    close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0 && error)
        *error = std::strerror(errno);
    return fd_ >= 0;
}

bool DatagramSocket::bind(const std::string& address, uint16_t port, std::string* error) {
    sockaddr_in addr;
    if (!ToAddress(address, port, &addr, error) || !open(error))
        return false;
    // The desktop's own announcer binds port + 1, and other listeners (a second
    // simulated phone) may share the port.
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (error)
            *error = std::strerror(errno);
        close();
        return false;
    }
    return true;
}

uint16_t DatagramSocket::localPort() const {
    return fd_ < 0 ? 0 : SocketLocalPort(fd_);
}

long DatagramSocket::receive(char* data, size_t cap, int timeoutMs, std::string* fromAddress,
                             std::string* error) {
    if (error)
        error->clear();
    if (fd_ < 0) {
        if (error)
            *error = "socket not open";
        return -1;
    }
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        ssize_t n = ::recvfrom(fd_, data, cap, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n >= 0) {
            if (fromAddress) {
                char text[INET_ADDRSTRLEN] = {0};
                ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
                *fromAddress = text;
            }
            return static_cast<long>(n);
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            if (error)
                *error = std::strerror(errno);
            return -1;
        }
        int64_t left = deadline - MonotonicMicros();
        if (left <= 0)
            return -1;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>((left + 999) / 1000));
        if (r < 0 && errno != EINTR) {
            if (error)
                *error = std::strerror(errno);
            return -1;
        }
    }
}

bool DatagramSocket::sendTo(const std::string& address, uint16_t port, const char* data, size_t len,
                            std::string* error) {
    sockaddr_in addr;
    if (!ToAddress(address, port, &addr, error))
        return false;
    if (fd_ < 0 && !open(error))
        return false;
    ssize_t n =
        ::sendto(fd_, data, len, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (n < 0 || static_cast<size_t>(n) != len) {
        if (error)
            *error = n < 0 ? std::strerror(errno) : "datagram cut short";
        return false;
    }
    return true;
}

void DatagramSocket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
