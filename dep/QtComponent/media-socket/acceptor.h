#pragma once

#include <cstdint>
#include <functional>

#include "dep/QtComponent/media-socket/channel.h"
#include "dep/QtComponent/media-socket/socket.h"

namespace media_socket {

class EventLoop;

// A listening TCP socket on a loop: every accepted socket goes to the
// new-connection callback, one per readiness. Destroy it on the loop thread,
// never from inside its own callback.
class Acceptor {
public:
    using NewConnectionCallback = std::function<void(Socket&&)>;

    explicit Acceptor(EventLoop* loop);
    ~Acceptor();
    Acceptor(const Acceptor&) = delete;
    Acceptor& operator=(const Acceptor&) = delete;

    void SetNewConnectionCallback(NewConnectionCallback cb) { callback_ = std::move(cb); }
    // Binds ip:port (SO_REUSEADDR) and listens. On failure (port in use, not a
    // dotted IPv4 text) nothing is registered with the loop.
    bool Listen(const char* ip, uint16_t port);
    // The port actually bound (useful after listening on port 0).
    uint16_t Port() const { return socket_.LocalPort(); }

private:
    void HandleRead();

    EventLoop* loop_;
    Socket socket_;
    Channel channel_;
    NewConnectionCallback callback_;
};

}  // namespace media_socket
