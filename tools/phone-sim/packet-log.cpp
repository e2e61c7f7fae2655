#include "tools/phone-sim/packet-log.h"

#include <cinttypes>
#include <cstdio>

namespace phonesim {
namespace {

std::string LenAndHash(const char* payload, size_t len) {
    char text[64];
    std::snprintf(text, sizeof text, "len=%zu fnv1a64=%016" PRIx64, len, Fnv1a64(payload, len));
    return text;
}

}  // namespace

uint64_t Fnv1a64(const char* data, size_t len) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < len; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string PacketLog::TokenLine(const char* payload, size_t len) {
    return "token " + LenAndHash(payload, len);
}

std::string PacketLog::VideoLine(uint32_t frameKind, const char* payload, size_t len) {
    return "video kind=" + std::to_string(frameKind) + " " + LenAndHash(payload, len);
}

std::string PacketLog::AudioLine(uint32_t sampleRate, uint32_t channels, uint32_t bits,
                                 const char* payload, size_t len) {
    return "audio rate=" + std::to_string(sampleRate) + " channels=" + std::to_string(channels) +
           " bits=" + std::to_string(bits) + " " + LenAndHash(payload, len);
}

bool PacketLog::Open(const std::string& path, std::string* error) {
    out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out_) {
        if (error)
            *error = "cannot write the packet log " + path;
        return false;
    }
    return true;
}

bool PacketLog::Token(const char* payload, size_t len) {
    return Write(TokenLine(payload, len));
}

bool PacketLog::Video(uint32_t frameKind, const char* payload, size_t len) {
    return Write(VideoLine(frameKind, payload, len));
}

bool PacketLog::Audio(uint32_t sampleRate, uint32_t channels, uint32_t bits, const char* payload,
                      size_t len) {
    return Write(AudioLine(sampleRate, channels, bits, payload, len));
}

bool PacketLog::Write(const std::string& line) {
    if (!out_.is_open())
        return true;
    // Flushed per line: a run that is killed still leaves what it sent.
    out_ << line << '\n';
    out_.flush();
    return static_cast<bool>(out_);
}

}  // namespace phonesim
