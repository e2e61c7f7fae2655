#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace phonesim {

// 64-bit FNV-1a of a byte range.
uint64_t Fnv1a64(const char* data, size_t len);

// One line per stream packet sent, in sending order, so that a test desktop
// can prove every payload arrived intact and in order:
//   token len=38 fnv1a64=0123456789abcdef
//   video kind=2 len=25 fnv1a64=...
//   audio rate=48000 channels=2 bits=16 len=3840 fnv1a64=...
// The hash covers the payload only (not the header), as 16 lower-case hex digits.
class PacketLog {
public:
    bool Open(const std::string& path, std::string* error);
    bool isOpen() const { return out_.is_open(); }

    bool Token(const char* payload, size_t len);
    bool Video(uint32_t frameKind, const char* payload, size_t len);
    bool Audio(uint32_t sampleRate, uint32_t channels, uint32_t bits, const char* payload,
               size_t len);

    static std::string TokenLine(const char* payload, size_t len);
    static std::string VideoLine(uint32_t frameKind, const char* payload, size_t len);
    static std::string AudioLine(uint32_t sampleRate, uint32_t channels, uint32_t bits,
                                 const char* payload, size_t len);

private:
    bool Write(const std::string& line);

    std::ofstream out_;
};

}  // namespace phonesim
