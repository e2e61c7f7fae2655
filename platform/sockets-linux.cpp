#include "platform/sockets.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

int MapFamily(int family) {
    return family == kFamilyInet ? AF_INET : -1;
}

int MapType(int type) {
    switch (type) {
        case kSockStream:
            return SOCK_STREAM;
        case kSockDgram:
            return SOCK_DGRAM;
        default:
            return -1;
    }
}

int MapProtocol(int protocol) {
    switch (protocol) {
        case kProtoTcp:
            return IPPROTO_TCP;
        case kProtoUdp:
            return IPPROTO_UDP;
        default:
            return 0;
    }
}

int MapShutdown(int how) {
    switch (how) {
        case kShutRead:
            return SHUT_RD;
        case kShutWrite:
            return SHUT_WR;
        default:
            return SHUT_RDWR;
    }
}

sockaddr_in MakeAddress(uint32_t ip, uint16_t port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(ip);
    addr.sin_port = htons(port);
    return addr;
}

int SetIntOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof(value));
}

// The kernel takes keep-alive times in whole seconds; round up, never below 1.
int WholeSeconds(int ms) {
    int s = (ms + 999) / 1000;
    return s < 1 ? 1 : s;
}

}  // namespace

int SocketOpen(int family, int type, int protocol) {
    int f = MapFamily(family);
    int t = MapType(type);
    if (f < 0 || t < 0) {
        errno = EINVAL;
        return -1;
    }
    return ::socket(f, t | SOCK_CLOEXEC, MapProtocol(protocol));
}

int SocketClose(int fd) {
    return ::close(fd);
}

int SocketShutdown(int fd, int how) {
    return ::shutdown(fd, MapShutdown(how));
}

int SocketAccept(int fd) {
    int s;
    do {
        s = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
    return s;
}

bool SocketBindV4(int fd, uint32_t ip, uint16_t port) {
    sockaddr_in addr = MakeAddress(ip, port);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

bool SocketListen(int fd, int backlog) {
    return ::listen(fd, backlog) == 0;
}

bool SocketConnectV4(int fd, uint32_t ip, uint16_t port) {
    sockaddr_in addr = MakeAddress(ip, port);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

int SocketRecv(int fd, char* buffer, int len, int flags) {
    int f = 0;
    if (flags & kRecvPeek)
        f |= MSG_PEEK;
    if (flags & kRecvDontWait)
        f |= MSG_DONTWAIT;
    ssize_t n;
    do {
        n = ::recv(fd, buffer, len < 0 ? 0 : static_cast<size_t>(len), f);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int SocketSend(int fd, const char* data, int len) {
    ssize_t n;
    do {
        n = ::send(fd, data, len < 0 ? 0 : static_cast<size_t>(len), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int SocketSendToV4(int fd, const char* data, int len, uint32_t ip, uint16_t port) {
    sockaddr_in addr = MakeAddress(ip, port);
    return static_cast<int>(::sendto(fd, data, len < 0 ? 0 : static_cast<size_t>(len), MSG_NOSIGNAL,
                                     reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
}

int SocketRecvFromV4(int fd, char* buffer, int len, uint32_t* ip, uint16_t* port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    socklen_t addrLen = sizeof(addr);
    ssize_t n;
    do {
        n = ::recvfrom(fd, buffer, len < 0 ? 0 : static_cast<size_t>(len), 0,
                       reinterpret_cast<sockaddr*>(&addr), &addrLen);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        if (ip)
            *ip = ntohl(addr.sin_addr.s_addr);
        if (port)
            *port = ntohs(addr.sin_port);
    }
    return static_cast<int>(n);
}

int SocketSetReuseAddr(int fd, bool on) {
    return SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0);
}

bool SocketSetNonBlocking(int fd, bool on) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

int SocketSetKeepAlive(int fd, bool on, int idleMs, int intervalMs) {
    if (SetIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, on ? 1 : 0) != 0)
        return -1;
    if (!on)
        return SetIntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 0);
    int idle = WholeSeconds(idleMs);
    int interval = WholeSeconds(intervalMs);
    // With TCP_USER_TIMEOUT set, the kernel drops the connection once a probe
    // has gone unanswered for that long, whatever TCP_KEEPCNT says; it also
    // bounds how long sent data may stay unacknowledged. Idle + one interval
    // reports a vanished phone after about 2 s.
    if (SetIntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, idle) != 0 ||
        SetIntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, interval) != 0 ||
        SetIntOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 2) != 0 ||
        SetIntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, (idle + interval) * 1000) != 0) {
        return -1;
    }
    return 0;
}

int SocketSetRecvBufferSize(int fd, int bytes) {
    return SetIntOption(fd, SOL_SOCKET, SO_RCVBUF, bytes);
}

int SocketSetNoDelay(int fd, bool on) {
    return SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0);
}

bool SocketSetRecvTimeout(int fd, int ms) {
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) == 0;
}

uint16_t SocketLocalPort(int fd) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    socklen_t len = sizeof(addr);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    if (addr.sin_family != AF_INET)
        return 0;
    return ntohs(addr.sin_port);
}

int LastSocketError() {
    return errno;
}

bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

bool ParseIpv4(const char* text, uint32_t* ip) {
    if (!text)
        return false;
    in_addr addr;
    if (::inet_pton(AF_INET, text, &addr) != 1)
        return false;
    if (ip)
        *ip = ntohl(addr.s_addr);
    return true;
}

std::string FormatIpv4(uint32_t ip) {
    in_addr addr;
    addr.s_addr = htonl(ip);
    char text[64] = {0};
    if (!::inet_ntop(AF_INET, &addr, text, sizeof(text)))
        return std::string();
    return text;
}

int PollSockets(PollEntry* entries, size_t count, int timeoutMs) {
    // Small on-stack set for the usual handful of sockets.
    pollfd local[16];
    std::vector<pollfd> heap;
    pollfd* fds = local;
    if (count > sizeof(local) / sizeof(local[0])) {
        heap.resize(count);
        fds = heap.data();
    }
    for (size_t i = 0; i < count; ++i) {
        fds[i].fd = entries[i].fd;
        fds[i].events = 0;
        if (entries[i].events & kPollReadable)
            fds[i].events |= POLLRDNORM | POLLRDBAND;
        if (entries[i].events & kPollWritable)
            fds[i].events |= POLLWRNORM;
        fds[i].revents = 0;
    }
    int n = ::poll(count ? fds : nullptr, count, timeoutMs);
    // A signal landing on the polling thread is no failure of the set.
    if (n < 0 && errno == EINTR)
        return 0;
    if (n <= 0)
        return n;
    int active = 0;
    for (size_t i = 0; i < count; ++i) {
        int bits = 0;
        short r = fds[i].revents;
        if (r & (POLLRDNORM | POLLRDBAND))
            bits |= kPollReadable;
        if (r & POLLWRNORM)
            bits |= kPollWritable;
        if (r & (POLLERR | POLLHUP | POLLNVAL))
            bits |= kPollFailed;
        entries[i].revents = bits;
        if (r)
            ++active;
    }
    return active;
}

}  // namespace platform
