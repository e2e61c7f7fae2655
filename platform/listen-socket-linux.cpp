#include "platform/listen-socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

ListenSocket::~ListenSocket() {
    close();
}

bool ListenSocket::listen(const std::string& address, uint16_t port, std::string* error) {
    close();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        if (error)
            *error = "not an IPv4 address: " + address;
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    int one = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 8) != 0) {
        if (error)
            *error = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    fd_ = fd;
    port_ = ntohs(addr.sin_port);
    return true;
}

ClientSocket ListenSocket::accept(int timeoutMs, std::string* error) {
    if (fd_ < 0) {
        if (error)
            *error = "not listening";
        return ClientSocket();
    }
    pollfd p{fd_, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) {
        if (error)
            *error = r == 0 ? "no connection within " + std::to_string(timeoutMs) + " ms"
                            : std::strerror(errno);
        return ClientSocket();
    }
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = std::strerror(errno);
        return ClientSocket();
    }
    return ClientSocket(fd);
}

void ListenSocket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

}  // namespace platform
