#include "dep/QtComponent/media-socket/socket.h"

#include <utility>

#include "dep/QtComponent/media-socket/inet-address.h"

namespace media_socket {

Socket::Socket(int family, int type, int protocol)
    : fd_(platform::SocketOpen(family, type, protocol)) {}

Socket::~Socket() {
    Close();
}

Socket::Socket(Socket&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool Socket::Create(int family, int type, int protocol) {
    if (IsValid())
        return true;
    fd_ = platform::SocketOpen(family, type, protocol);
    return IsValid();
}

int Socket::Close() {
    if (fd_ == -1)
        return -1;
    platform::SocketShutdown(fd_, platform::kShutBoth);
    int result = platform::SocketClose(fd_);
    fd_ = -1;
    return result;
}

void Socket::Close(int how) {
    if (fd_ == -1)
        return;
    if (how >= 0)
        platform::SocketShutdown(fd_, how);
    platform::SocketClose(fd_);
    fd_ = -1;
}

int Socket::Release() {
    return std::exchange(fd_, -1);
}

Socket Socket::Accept() {
    return Socket(platform::SocketAccept(fd_));
}

bool Socket::Bind(const InetAddress& address) {
    if (!address.IsValid())
        return false;
    return platform::SocketBindV4(fd_, address.Ip(), address.Port());
}

bool Socket::Listen(int backlog) {
    return platform::SocketListen(fd_, backlog);
}

bool Socket::Connect(const InetAddress& address) {
    if (!address.IsValid())
        return false;
    return platform::SocketConnectV4(fd_, address.Ip(), address.Port());
}

int Socket::Recv(char* buffer, int len, int flags) {
    return platform::SocketRecv(fd_, buffer, len, flags);
}

int Socket::Send(const char* data, int len) {
    return platform::SocketSend(fd_, data, len);
}

void Socket::SendTo(const char* data, int len, const InetAddress& address) {
    if (!address.IsValid())
        return;
    platform::SocketSendToV4(fd_, data, len, address.Ip(), address.Port());
}

int Socket::SetReuseAddr(bool on) {
    return platform::SocketSetReuseAddr(fd_, on);
}

bool Socket::SetNonBlocking(bool on) {
    return platform::SocketSetNonBlocking(fd_, on);
}

int Socket::SetKeepAlive(bool on, int idle_ms, int interval_ms) {
    return platform::SocketSetKeepAlive(fd_, on, idle_ms, interval_ms);
}

int Socket::SetRecvBufferSize(int bytes) {
    return platform::SocketSetRecvBufferSize(fd_, bytes);
}

uint16_t Socket::LocalPort() const {
    return platform::SocketLocalPort(fd_);
}

}  // namespace media_socket
