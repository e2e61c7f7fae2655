#include "bench/media-socket/bench-packets.h"

#include <vector>

#include "dep/QtComponent/media-socket/byte-order.h"

namespace msbench {
namespace {

std::string Packet(uint32_t type, const std::vector<uint32_t>& expansion, size_t payload_bytes,
                   const std::string& payload = std::string()) {
    std::string p(12 + expansion.size() * 4, '\0');
    media_socket::WriteBe32(&p[0], type);
    media_socket::WriteBe32(&p[4], static_cast<uint32_t>(expansion.size() * 4));
    for (size_t i = 0; i < expansion.size(); ++i)
        media_socket::WriteBe32(&p[8 + 4 * i], expansion[i]);
    size_t n = payload.empty() ? payload_bytes : payload.size();
    media_socket::WriteBe32(&p[8 + 4 * expansion.size()], static_cast<uint32_t>(n));
    if (payload.empty()) {
        p.resize(p.size() + n);
        for (size_t i = p.size() - n; i < p.size(); ++i)
            p[i] = static_cast<char>(i * 31);
    } else {
        p += payload;
    }
    return p;
}

}  // namespace

std::string VideoPacket(uint32_t frame_kind, size_t payload_bytes) {
    return Packet(1, {1, frame_kind}, payload_bytes);
}

std::string AudioPacket(size_t payload_bytes) {
    return Packet(2, {2, 48000, 2, 16}, payload_bytes);
}

std::string TokenPacket(const std::string& token) {
    return Packet(0, {}, 0, token);
}

}  // namespace msbench
