#include "tools/phone-sim/command-channel.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

#include "tools/phone-sim/packet-builder.h"

namespace phonesim {

bool CommandChannel::Connect(const std::string& host, uint16_t port, int timeoutMs,
                             std::string* error) {
    std::string why;
    if (!socket_.connect(host, port, timeoutMs, &why)) {
        *error = "cannot connect to the desktop's command port " + host + ":" +
                 std::to_string(port) + ": " + why;
        return false;
    }
    socket_.setNoDelay(true);
    return true;
}

std::string CommandChannel::EncodeFrame(const std::string& body) {
    std::string frame(4, '\0');
    PacketBuilder::PutU32(static_cast<uint32_t>(body.size()), &frame[0]);
    return frame + body;
}

std::string CommandChannel::WriteJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool CommandChannel::ParseJson(const std::string& text, Json::Value* value, std::string* error) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string why;
    try {
        if (reader->parse(text.data(), text.data() + text.size(), value, &why))
            return true;
    } catch (const std::exception& e) {
        why = e.what();
    }
    *error = "reply is not JSON: " + why;
    return false;
}

bool CommandChannel::SendFrame(const std::string& body, int timeoutMs, std::string* error) {
    std::string why;
    if (!socket_.sendAll(EncodeFrame(body).data(), body.size() + 4, timeoutMs, &why)) {
        *error = "cannot send a command: " + why;
        return false;
    }
    return true;
}

bool CommandChannel::ReadFrame(std::string* body, int timeoutMs, std::string* error) {
    char head[4];
    std::string why;
    auto rc = socket_.recvExact(head, sizeof head, timeoutMs, &why);
    if (rc == platform::ClientSocket::RecvResult::kDone) {
        uint32_t len = PacketBuilder::GetU32(head);
        if (len > kMaxReplyBytes) {
            *error = "the desktop announced a reply of " + std::to_string(len) +
                     " bytes (at most 4096 expected)";
            return false;
        }
        body->assign(len, '\0');
        rc = len ? socket_.recvExact(&(*body)[0], len, timeoutMs, &why) : rc;
    }
    switch (rc) {
        case platform::ClientSocket::RecvResult::kDone:
            return true;
        case platform::ClientSocket::RecvResult::kClosed:
            *error = "the desktop closed the command connection";
            return false;
        case platform::ClientSocket::RecvResult::kTimeout:
            *error = "no reply from the desktop within " + std::to_string(timeoutMs) + " ms";
            return false;
        default:
            *error = "command connection failed: " + why;
            return false;
    }
}

bool CommandChannel::Request(const Json::Value& request, int timeoutMs, std::string* replyText,
                             Json::Value* reply, std::string* error) {
    if (!SendFrame(WriteJson(request), timeoutMs, error))
        return false;
    if (!ReadFrame(replyText, timeoutMs, error))
        return false;
    return ParseJson(*replyText, reply, error);
}

}  // namespace phonesim
