#include "dep/QtComponent/media-socket/zusp-command-handler.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "dep/QtComponent/media-socket/json-text.h"
#include "hublet/log-sink.h"
#include "hublet/plain-text.h"

namespace media_socket {
namespace {

enum CommandType : int {
    kPing = -1,
    kPushPlay = 0,
    kPushPlayAlt = 1,
    kShutdown = 2,
    kFirstCustom = 3,
    kDeviceName = 1001,
};

constexpr int kBiteRate = 4;

}  // namespace

void ZuSPCommandHandler::OnMessage(const char* data, int len) {
    if (len <= 0) {
        BG_LOGI("cmd connection disconnected\n");
        TellHeldBack();
        std::fprintf(stderr, "[null]cmd disconnected\n");
        host_->RequestClose();
        return;
    }
    auto status =
        frames_.Feed(data, len, [this](const char* body, size_t n) { return HandleBody(body, n); });
    if (status == CmdFrameBuffer::Status::kBufferTooLong) {
        BG_LOGE("cmd buffer is too long\n");
        std::fprintf(stderr, "[cmd length]cmd buffer is too long\n");
        host_->RequestClose();
    } else if (status == CmdFrameBuffer::Status::kPacketTooLong) {
        BG_LOGE("packet is too long\n");
        std::fprintf(stderr, "[packet]packet is too long\n");
        host_->RequestClose();
    }
}

bool ZuSPCommandHandler::HandleBody(const char* body, size_t len) {
    ++bodies_taken_;
    Json::Value root;
    size_t used = 0;
    if (!ParseJson(body, body + len, &root, &used))
        return Close();
    // JsonCpp throws on a "type" that is no number or a "data" that is no
    // object; the phone gets no reply and starts over.
    try {
        // Read through const references: a missing member must not turn a
        // null "data" into an object on its way to the owner.
        const Json::Value& request = root;
        int type = request["type"].asInt();
        const Json::Value data = request["data"];
        peer_name_ = data["name"].asString();
        bool udp_wanted = data.isMember("udpPort") && data["udpPort"].asInt() != 0;
        // Only the JSON object is shown, escaped: what a phone puts after it
        // or inside its strings must not reach the log as it came.
        return Dispatch(type, data, udp_wanted, bg::EscapeControls(std::string(body, used)));
    } catch (const std::exception&) {
        return Close();
    }
}

bool ZuSPCommandHandler::Dispatch(int type, const Json::Value& data, bool udp_wanted,
                                  const std::string& text) {
    switch (type) {
        case kPushPlay:
        case kPushPlayAlt:
            PrintRequest("push-play_json", text);
            return PushPlay(udp_wanted);
        case kShutdown: {
            PrintRequest("shutdown_json", text);
            Json::Value reply;
            reply["type"] = 0;
            reply["data"] = Json::Value();
            Reply(std::move(reply));
            return Close();
        }
        case kDeviceName: {
            PrintRequest("device-name_json", text);
            Json::Value reply;
            reply["type"] = kDeviceName;
            reply["name"] = host_->DeviceName();
            Reply(std::move(reply));
            return true;
        }
        case kPing: {
            PrintRequest("ping_json", text);
            Json::Value reply;
            reply["type"] = kPing;
            reply["data"] = Json::Value();
            Reply(std::move(reply));
            return true;
        }
        default:
            if (type >= kFirstCustom)
                return Custom(type, data);
            return Close();
    }
}

void ZuSPCommandHandler::PrintRequest(const char* tag, const std::string& text) {
    const int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    uint64_t heldBack = 0;
    if (!printed_[tag].Allow(nowUs, &heldBack))
        return;
    if (heldBack > 0)
        std::fprintf(stderr, "[%s]:… %llu more\n", tag, static_cast<unsigned long long>(heldBack));
    std::fprintf(stderr, "[%s]:%s\n", tag, text.c_str());
}

void ZuSPCommandHandler::TellHeldBack() {
    for (auto& kind : printed_) {
        const uint64_t heldBack = kind.second.TakeHeldBack();
        if (heldBack > 0) {
            std::fprintf(stderr, "[%s]:… %llu more\n", kind.first.c_str(),
                         static_cast<unsigned long long>(heldBack));
        }
    }
}

bool ZuSPCommandHandler::PushPlay(bool udp_wanted) {
    unsigned port = 0;
    unsigned udp_port = 0;
    if (udp_wanted) {
        udp_port = host_->StartUdpStream() & 0xffffu;
        std::fprintf(stderr, "[use udp connected]udpPort:%d\n", static_cast<int>(udp_port));
        // A reply without a stream endpoint would leave the phone waiting for
        // nothing: like a TCP port that cannot be opened, it ends the link.
        if (udp_port == 0) {
            BG_LOGE("udp stream transport failed to open a port\n");
            return Close();
        }
    } else {
        std::fprintf(stderr, "[use tcp connected]\n");
        port = host_->OpenTcpStream();
        if (port == 0) {
            BG_LOGE("no free tcp stream port\n");
            return Close();
        }
        host_->NotifyStreamPort(port);
    }
    Json::Value data(Json::objectValue);
    data["port"] = port;
    data["key"] = host_->RenewToken();
    data["bite_rate"] = kBiteRate;
    if (udp_port != 0)
        data["udpPort"] = udp_port;
    Json::Value reply;
    reply["type"] = 0;
    reply["data"] = std::move(data);
    Reply(std::move(reply));
    host_->NotifyConnected(peer_name_);
    return true;
}

bool ZuSPCommandHandler::Custom(int type, const Json::Value& data) {
    Json::Value result;
    bool handled = host_->HandleCustomCommand(type, data, &result);
    Json::Value reply;
    reply["type"] = handled ? 0 : 1;
    if (handled && !result.empty())
        reply["data"] = result;
    Reply(std::move(reply));
    return handled ? true : Close();
}

void ZuSPCommandHandler::Reply(Json::Value reply) {
    reply["version"] = "1.0";
    host_->SendCmd(WriteCompactJson(reply));
}

bool ZuSPCommandHandler::Close() {
    host_->RequestClose();
    return false;
}

}  // namespace media_socket
