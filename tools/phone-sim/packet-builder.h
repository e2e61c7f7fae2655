#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace phonesim {

// Stream packet types (first header word).
enum PacketType : uint32_t { kPacketToken = 0, kPacketVideo = 1, kPacketAudio = 2 };

// Video frame kinds (second expansion word). The desktop keeps kind 2 aside and
// joins it to the next picture; the other kinds go to the decoder as they are.
enum FrameKind : uint32_t { kFramePicture = 0, kFrameKey = 1, kFrameConfig = 2 };

// The desktop reassembles each packet in a 64 MiB buffer: anything larger
// cannot arrive.
constexpr size_t kMaxPacketBytes = 67108864;

// Writes stream packets: T, E, expansion, N, payload, every integer an
// unsigned 32-bit big-endian number.
class PacketBuilder {
public:
    // Header sizes (everything before the payload).
    static constexpr size_t kTokenHeader = 12;
    static constexpr size_t kVideoHeader = 12 + 8;
    static constexpr size_t kAudioHeader = 12 + 16;
    static constexpr uint32_t kBitsPerSample = 16;

    // Each replaces *out with one complete packet; false when the packet
    // would not fit the desktop's reassembly buffer (*out is then empty).
    static bool Token(const std::string& key, std::string* out);
    static bool Video(uint32_t frameKind, const char* data, size_t len, std::string* out);
    static bool Audio(uint32_t sampleRate, uint32_t channels, const char* data, size_t len,
                      std::string* out);

    static void PutU32(uint32_t value, char* at);
    static uint32_t GetU32(const char* at);

private:
    static bool Build(uint32_t type, const uint32_t* expansion, size_t words, const char* data,
                      size_t len, std::string* out);
};

}  // namespace phonesim
