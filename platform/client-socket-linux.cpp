#include "platform/client-socket.h"
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/time.h"

namespace platform {
namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

void SetError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

// Milliseconds left until deadline (µs), never negative.
int MillisLeft(int64_t deadline) {
    int64_t left = deadline - MonotonicMicros();
    if (left <= 0)
        return 0;
    return static_cast<int>((left + 999) / 1000);
}

// Waits for `events` on fd until the deadline: 1 ready, 0 time-out, -1 error.
int WaitFor(int fd, short events, int64_t deadline, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, MillisLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && revents)
            *revents = p.revents;
        return r > 0 ? 1 : r;
    }
}

bool ResolveIPv4(const std::string& host, in_addr* out, std::string* error) {
    if (::inet_pton(AF_INET, host.c_str(), out) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || !list) {
        SetError(error, "cannot resolve host '" + host + "': " + ::gai_strerror(rc));
        return false;
    }
    *out = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
    return true;
}

}  // namespace

ClientSocket::~ClientSocket() {
    close();
}

ClientSocket::ClientSocket(ClientSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ClientSocket& ClientSocket::operator=(ClientSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool ClientSocket::connect(const std::string& host, uint16_t port, int timeoutMs,
                           std::string* error) {
    close();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (!ResolveIPv4(host, &addr.sin_addr, error))
        return false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        SetError(error, ErrnoText(errno));
        return false;
    }
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            SetError(error, ErrnoText(errno));
            ::close(fd);
            return false;
        }
        int r = WaitFor(fd, POLLOUT, deadline, nullptr);
        int soError = 0;
        socklen_t len = sizeof soError;
        if (r <= 0) {
            SetError(error, r == 0 ? "timed out after " + std::to_string(timeoutMs) + " ms"
                                   : ErrnoText(errno));
            ::close(fd);
            return false;
        }
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            SetError(error, ErrnoText(soError ? soError : errno));
            ::close(fd);
            return false;
        }
    }
    fd_ = fd;
    return true;
}

bool ClientSocket::sendAll(const char* data, size_t len, int timeoutMs, std::string* error) {
    if (fd_ < 0) {
        SetError(error, "not connected");
        return false;
    }
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::send(fd_, data + done, len - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int r = WaitFor(fd_, POLLOUT, deadline, nullptr);
            if (r == 0) {
                SetError(error, "peer took no data for " + std::to_string(timeoutMs) + " ms");
                return false;
            }
            if (r < 0) {
                SetError(error, ErrnoText(errno));
                return false;
            }
            continue;
        }
        SetError(error, ErrnoText(errno));
        return false;
    }
    return true;
}

ClientSocket::RecvResult ClientSocket::recvExact(char* data, size_t len, int timeoutMs,
                                                 std::string* error, size_t* received) {
    size_t done = 0;
    if (received)
        *received = 0;
    if (fd_ < 0) {
        SetError(error, "not connected");
        return RecvResult::kError;
    }
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    while (done < len) {
        ssize_t n = ::recv(fd_, data + done, len - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            if (received)
                *received = done;
            continue;
        }
        if (n == 0)
            return RecvResult::kClosed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            int r = WaitFor(fd_, POLLIN, deadline, nullptr);
            if (r == 0) {
                SetError(error, "no answer within " + std::to_string(timeoutMs) + " ms");
                return RecvResult::kTimeout;
            }
            if (r < 0) {
                SetError(error, ErrnoText(errno));
                return RecvResult::kError;
            }
            continue;
        }
        // A reset is the peer going away, the same as an orderly close for callers.
        if (errno == ECONNRESET)
            return RecvResult::kClosed;
        SetError(error, ErrnoText(errno));
        return RecvResult::kError;
    }
    return RecvResult::kDone;
}

long ClientSocket::recvSome(char* data, size_t len, int timeoutMs, std::string* error) {
    if (fd_ < 0) {
        SetError(error, "not connected");
        return -1;
    }
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    for (;;) {
        ssize_t n = ::recv(fd_, data, len, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == ECONNRESET)
            return 0;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            SetError(error, ErrnoText(errno));
            return -1;
        }
        int r = WaitFor(fd_, POLLIN, deadline, nullptr);
        if (r == 0) {
            SetError(error, "no data within " + std::to_string(timeoutMs) + " ms");
            return -1;
        }
        if (r < 0) {
            SetError(error, ErrnoText(errno));
            return -1;
        }
    }
}

bool ClientSocket::peerClosed() {
    if (fd_ < 0)
        return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLERR | POLLHUP))
        return true;
    char c;
    ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        return true;
    return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

bool ClientSocket::waitPeerClosed(int timeoutMs) {
    if (fd_ < 0)
        return true;
    int64_t deadline = MonotonicMicros() + int64_t(timeoutMs) * 1000;
    char sink[4096];
    for (;;) {
        ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
        if (n == 0)
            return true;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return true;
        if (WaitFor(fd_, POLLIN, deadline, nullptr) <= 0)
            return false;
    }
}

void ClientSocket::shutdownWrite() {
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
}

void ClientSocket::setNoDelay(bool on) {
    if (fd_ < 0)
        return;
    int v = on ? 1 : 0;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}

void ClientSocket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

uint16_t ClientSocket::localPort() const {
    return fd_ < 0 ? 0 : SocketLocalPort(fd_);
}

bool IsIPv4Address(const std::string& text) {
    in_addr addr{};
    return ::inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

}  // namespace platform
