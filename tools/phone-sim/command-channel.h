#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

#include "platform/client-socket.h"

namespace phonesim {

// The phone's end of the command connection: frames of a 4-byte big-endian
// body length and a JSON body, one request answered by one reply.
class CommandChannel {
public:
    // The desktop's command buffer holds 4096 bytes; a longer reply is not one
    // of its replies.
    static constexpr uint32_t kMaxReplyBytes = 4096;

    bool Connect(const std::string& host, uint16_t port, int timeoutMs, std::string* error);
    // Sends one request and waits for its reply. *replyText gets the body as
    // received, *reply its parsed value.
    bool Request(const Json::Value& request, int timeoutMs, std::string* replyText,
                 Json::Value* reply, std::string* error);
    bool SendFrame(const std::string& body, int timeoutMs, std::string* error);
    bool ReadFrame(std::string* body, int timeoutMs, std::string* error);

    // Non-blocking: the desktop has closed the connection.
    bool PeerClosed() { return socket_.peerClosed(); }
    bool WaitPeerClosed(int timeoutMs) { return socket_.waitPeerClosed(timeoutMs); }
    void Close() { socket_.close(); }

    static std::string EncodeFrame(const std::string& body);
    // Compact JSON, members in key order.
    static std::string WriteJson(const Json::Value& value);
    static bool ParseJson(const std::string& text, Json::Value* value, std::string* error);

private:
    platform::ClientSocket socket_;
};

}  // namespace phonesim
