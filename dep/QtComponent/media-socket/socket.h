#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace media_socket {

class InetAddress;

// Owns one IPv4 socket handle (-1: none). Moved, never copied; the handle is
// closed by Close() or, at the latest, by the destructor.
class Socket {
public:
    Socket() = default;
    Socket(int family, int type, int protocol);
    // Takes over an existing handle.
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // True without change when a handle is already held.
    bool Create(int family, int type, int protocol);
    bool IsValid() const { return fd_ != -1; }
    int Fd() const { return fd_; }
    // Shuts both directions down and closes; -1 when there was no handle.
    int Close();
    // Shuts down `how` (platform::kShutBoth ...) only when how >= 0, then closes.
    void Close(int how);
    // Gives up ownership of the handle without closing it.
    int Release();

    Socket Accept();
    bool Bind(const InetAddress& address);
    bool Listen(int backlog);
    bool Connect(const InetAddress& address);
    int Recv(char* buffer, int len, int flags);
    int Send(const char* data, int len);
    void SendTo(const char* data, int len, const InetAddress& address);

    int SetReuseAddr(bool on);
    bool SetNonBlocking(bool on);
    int SetKeepAlive(bool on, int idle_ms, int interval_ms);
    int SetRecvBufferSize(int bytes);
    // The bound local port, 0 when unknown.
    uint16_t LocalPort() const;

private:
    int fd_ = -1;
};

}  // namespace media_socket
