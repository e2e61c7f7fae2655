#include "dep/QtComponent/media-socket/connection.h"

#include <climits>

#include "dep/QtComponent/media-socket/event-loop.h"

namespace media_socket {
namespace {

// Reads of a full buffer in one readiness before other channels get their
// turn; a sender faster than the reader must not starve the loop.
constexpr int kMaxReadsPerEvent = 16;

}  // namespace

Connection::Connection(EventLoop* loop, Socket&& socket)
    : loop_(loop),
      socket_(std::move(socket)),
      channel_(loop, socket_.Fd()),
      // Not value-initialised: a 64 MiB buffer only costs the pages recv touches.
      buffer_(new char[kDefaultBufferSize]),
      size_(kDefaultBufferSize) {
    socket_.SetNonBlocking(true);
}

Connection::~Connection() {
    loop_->RemoveChannel(&channel_);
    socket_.Close();
}

void Connection::Start() {
    channel_.AddInterest(Channel::kReadEvent);
    channel_.SetReadCallback([this] { HandleRead(); });
    channel_.SetCloseCallback([this] { HandleClose(); });
    loop_->AddChannel(&channel_);
}

int Connection::Send(const char* data, int len) {
    return socket_.Send(data, len);
}

void Connection::SetBufferSize(unsigned size) {
    if (size == 0)
        size = 1;
    if (size > static_cast<unsigned>(INT_MAX))
        size = static_cast<unsigned>(INT_MAX);
    buffer_.reset(new char[size]);
    size_ = size;
}

void Connection::HandleRead() {
    if (!callback_)
        return;
    const int size = static_cast<int>(size_);
    for (int reads = 0; reads < kMaxReadsPerEvent; ++reads) {
        int n = socket_.Recv(buffer_.get(), size, 0);
        if (n < 0)
            return;  // normally "would block": nothing more for now
        callback_(buffer_.get(), n);
        // A short read drained the kernel's queue; whatever arrives later
        // (end-of-stream included) makes the socket readable again.
        if (n < size)
            return;
    }
}

void Connection::HandleClose() {
    if (callback_)
        callback_(nullptr, 0);
}

}  // namespace media_socket
