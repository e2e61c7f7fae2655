#include "dep/QtComponent/media-socket/udp-data-listener.h"

#include <cstdio>

#include "hublet/log-sink.h"
#include "hublet/plain-text.h"

namespace media_socket {
namespace {

// Peers' texts end up in the log once standard error is diverted there:
// escaped and cut, so that they stay one short line.
constexpr size_t kShownChars = 256;

std::string Text(const char* s) {
    return bg::PlainText(s ? s : "", kShownChars);
}

}  // namespace

UDPDataListener::UDPDataListener(ZuSPServer* /*server*/) {
    assembler_.SetTokenCallback([](const char* data, unsigned len) {
        const std::string token = bg::PlainText(std::string(data, len), kShownChars);
        std::fprintf(stderr, "[token_packet]token='%s'\n", token.c_str());
        return true;
    });
}

UDPDataListener::~UDPDataListener() = default;

void UDPDataListener::SetVideoCallback(VideoCallback cb) {
    assembler_.SetVideoCallback(std::move(cb));
}

void UDPDataListener::SetAudioCallback(AudioCallback cb) {
    assembler_.SetAudioCallback(std::move(cb));
}

void UDPDataListener::onConnected(unsigned peer_id, const char* desc) {
    std::fprintf(stderr, "[connected]peerID=%u, desc='%s'\n", peer_id, Text(desc).c_str());
    if (phone_peer_ == 0) {
        phone_peer_ = peer_id;
        // Whatever a previous phone peer left half-sent is not this one's.
        assembler_.Reset();
    } else if (peer_id != phone_peer_) {
        std::fprintf(stderr, "[intruder]peerID=%u is not the phone, its data is dropped\n",
                     peer_id);
    }
}

void UDPDataListener::onDisconnected(unsigned peer_id, const char* desc) {
    // The link ends through the command connection, not when Zup2p loses a peer.
    std::fprintf(stderr, "[disconnected]peerID=%u, desc='%s'\n", peer_id, Text(desc).c_str());
    if (peer_id == phone_peer_)
        phone_peer_ = 0;
}

void UDPDataListener::onError(int code, const char* text) {
    std::fprintf(stderr, "[disconnected]code=%d, describ='%s'\n", code, Text(text).c_str());
}

void UDPDataListener::onText(unsigned peer_id, const char* text) {
    std::fprintf(stderr, "[onText]peerID=%u, onText='%s'\n", peer_id, Text(text).c_str());
}

void UDPDataListener::onBinary(unsigned peer_id, int /*channel*/, const char* data, int len) {
    if (!close_ || peer_id != phone_peer_)
        return;
    std::fprintf(stderr, "[onBinary]peerID=%u, onDataNum='%d'\n", peer_id, len);
    if (len <= 0 || !data) {
        BG_LOGI("stream connection disconnected\n");
        std::fprintf(stderr, "stream disconnected\n");
        close_();
        return;
    }
    if (assembler_.Feed(data, static_cast<size_t>(len)) != StreamPacketAssembler::Result::kOk) {
        close_();
    }
}

}  // namespace media_socket
