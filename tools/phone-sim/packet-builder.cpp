#include "tools/phone-sim/packet-builder.h"

#include <cstring>

namespace phonesim {

void PacketBuilder::PutU32(uint32_t value, char* at) {
    at[0] = static_cast<char>(value >> 24);
    at[1] = static_cast<char>(value >> 16);
    at[2] = static_cast<char>(value >> 8);
    at[3] = static_cast<char>(value);
}

uint32_t PacketBuilder::GetU32(const char* at) {
    const auto* b = reinterpret_cast<const unsigned char*>(at);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

bool PacketBuilder::Build(uint32_t type, const uint32_t* expansion, size_t words, const char* data,
                          size_t len, std::string* out) {
    out->clear();
    size_t header = 12 + 4 * words;
    if (len > kMaxPacketBytes - header)
        return false;
    // resize() keeps the capacity, so a reused string stops allocating once it
    // has held the largest picture.
    out->resize(header + len);
    char* p = &(*out)[0];
    PutU32(type, p);
    PutU32(static_cast<uint32_t>(4 * words), p + 4);
    for (size_t i = 0; i < words; ++i)
        PutU32(expansion[i], p + 8 + 4 * i);
    PutU32(static_cast<uint32_t>(len), p + header - 4);
    if (len)
        std::memcpy(p + header, data, len);
    return true;
}

bool PacketBuilder::Token(const std::string& key, std::string* out) {
    return Build(kPacketToken, nullptr, 0, key.data(), key.size(), out);
}

bool PacketBuilder::Video(uint32_t frameKind, const char* data, size_t len, std::string* out) {
    const uint32_t expansion[2] = {kPacketVideo, frameKind};
    return Build(kPacketVideo, expansion, 2, data, len, out);
}

bool PacketBuilder::Audio(uint32_t sampleRate, uint32_t channels, const char* data, size_t len,
                          std::string* out) {
    const uint32_t expansion[4] = {kPacketAudio, sampleRate, channels, kBitsPerSample};
    return Build(kPacketAudio, expansion, 4, data, len, out);
}

}  // namespace phonesim
