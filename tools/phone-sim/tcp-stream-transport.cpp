#include "tools/phone-sim/tcp-stream-transport.h"

namespace phonesim {

bool TcpStreamTransport::Connect(const std::string& host, uint16_t port, std::string* error) {
    std::string why;
    if (!socket_.connect(host, port, timeoutMs_, &why)) {
        *error =
            "cannot connect to the stream port " + host + ":" + std::to_string(port) + ": " + why;
        return false;
    }
    // Pictures are sent whole in one call; waiting to coalesce only adds delay.
    socket_.setNoDelay(true);
    return true;
}

bool TcpStreamTransport::Send(const char* data, size_t len, std::string* error) {
    std::string why;
    if (!socket_.sendAll(data, len, timeoutMs_, &why)) {
        *error = "stream connection lost: " + why;
        return false;
    }
    return true;
}

bool TcpStreamTransport::Finish(std::string* /*error*/) {
    // The desktop reads every byte before it sees the end of the stream.
    socket_.shutdownWrite();
    return true;
}

}  // namespace phonesim
