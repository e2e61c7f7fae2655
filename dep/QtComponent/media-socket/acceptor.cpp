#include "dep/QtComponent/media-socket/acceptor.h"

#include <cstdio>

#include "dep/QtComponent/media-socket/event-loop.h"
#include "dep/QtComponent/media-socket/inet-address.h"

namespace media_socket {

Acceptor::Acceptor(EventLoop* loop)
    : loop_(loop),
      socket_(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp),
      channel_(loop, socket_.Fd()) {
    socket_.SetNonBlocking(true);
    channel_.SetReadCallback([this] { HandleRead(); });
}

Acceptor::~Acceptor() {
    loop_->RemoveChannel(&channel_);
    socket_.Close();
}

bool Acceptor::Listen(const char* ip, uint16_t port) {
    if (!socket_.IsValid())
        return false;
    InetAddress address(ip, port);
    socket_.SetReuseAddr(true);
    if (!socket_.Bind(address) || !socket_.Listen(platform::kMaxListenBacklog))
        return false;
    channel_.AddInterest(Channel::kReadEvent);
    loop_->AddChannel(&channel_);
    return true;
}

void Acceptor::HandleRead() {
    std::fprintf(stderr, "Acceptor read event\n");
    // One connection per readiness: further pending ones keep the socket
    // readable for the next iteration. What the callback does not take is
    // closed when `accepted` goes out of scope.
    Socket accepted = socket_.Accept();
    if (accepted.IsValid() && callback_)
        callback_(std::move(accepted));
}

}  // namespace media_socket
