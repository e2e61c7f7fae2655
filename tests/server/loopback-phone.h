#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

#include "platform/client-socket.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/packet-builder.h"

namespace servertest {

// A phone over loopback for the server tests: the command connection and,
// after push-play, the TCP stream with the token already sent.
class LoopbackPhone {
public:
    static constexpr int kWaitMs = 5000;

    bool Connect(int port) {
        std::string error;
        return cmd_.Connect("127.0.0.1", static_cast<uint16_t>(port), kWaitMs, &error);
    }
    // Sends one request; the reply body as received, empty when none came.
    std::string Request(const std::string& json, Json::Value* reply = nullptr) {
        Json::Value request;
        std::string error;
        phonesim::CommandChannel::ParseJson(json, &request, &error);
        Json::Value parsed;
        std::string text;
        if (!cmd_.Request(request, kWaitMs, &text, &parsed, &error))
            return std::string();
        if (reply)
            *reply = parsed;
        return text;
    }
    // Push-play over TCP with the stream opened and its token sent; the
    // stream port, 0 on failure.
    int PushPlay() {
        Json::Value reply;
        if (Request(R"({"type":0,"data":{"name":"Pixel"}})", &reply).empty())
            return 0;
        const int port = reply["data"]["port"].asInt();
        std::string error;
        std::string token;
        if (port <= 0 || port > 65535 ||
            !stream_.connect("127.0.0.1", static_cast<uint16_t>(port), kWaitMs, &error) ||
            !phonesim::PacketBuilder::Token(reply["data"]["key"].asString(), &token) ||
            !Send(token)) {
            return 0;
        }
        return port;
    }
    bool Send(const std::string& bytes) {
        std::string error;
        return stream_.sendAll(bytes.data(), bytes.size(), kWaitMs, &error);
    }
    bool SendVideo(uint32_t kind, const std::string& payload) {
        std::string packet;
        return phonesim::PacketBuilder::Video(kind, payload.data(), payload.size(), &packet) &&
               Send(packet);
    }
    // Built by hand: the packet builder writes 16-bit audio only.
    bool SendAudio(uint32_t rate, uint32_t channels, uint32_t bits, const std::string& payload) {
        std::string packet(28, '\0');
        const uint32_t words[] = {
            2, 16, 2, rate, channels, bits, static_cast<uint32_t>(payload.size())};
        for (int i = 0; i < 7; ++i)
            phonesim::PacketBuilder::PutU32(words[i], &packet[i * 4]);
        return Send(packet + payload);
    }
    bool WaitClosed() { return cmd_.WaitPeerClosed(kWaitMs); }
    void Close() {
        stream_.close();
        cmd_.Close();
    }

private:
    phonesim::CommandChannel cmd_;
    platform::ClientSocket stream_;
};

}  // namespace servertest
