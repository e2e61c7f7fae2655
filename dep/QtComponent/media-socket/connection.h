#pragma once

#include <functional>
#include <memory>

#include "dep/QtComponent/media-socket/channel.h"
#include "dep/QtComponent/media-socket/socket.h"

namespace media_socket {

class EventLoop;

// An accepted TCP socket on a loop. Received bytes go to the message
// callback: (data, len > 0) is a chunk valid during the call only; len 0 means
// the peer closed or the connection failed (data may then be null), and may
// come twice in one iteration (read end-of-stream, then the poller's close).
// There is no output buffer: Send is one send() whose result is returned.
// Destroy it on the loop thread, never from inside its own callback.
class Connection {
public:
    using MessageCallback = std::function<void(char* data, int len)>;
    static constexpr unsigned kDefaultBufferSize = 4096;

    Connection(EventLoop* loop, Socket&& socket);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void SetMessageCallback(MessageCallback cb) { callback_ = std::move(cb); }
    // Registers with the loop; nothing is read before.
    void Start();
    int Send(const char* data, int len);
    // Replaces the read buffer. Loop thread only.
    void SetBufferSize(unsigned size);
    unsigned BufferSize() const { return size_; }
    int Fd() const { return socket_.Fd(); }

private:
    void HandleRead();
    void HandleClose();

    EventLoop* loop_;
    Socket socket_;
    Channel channel_;
    MessageCallback callback_;
    std::unique_ptr<char[]> buffer_;
    unsigned size_;
};

}  // namespace media_socket
