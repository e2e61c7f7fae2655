#include "dep/QtComponent/media-socket/guid-string.h"

#include <cstdint>
#include <cstdio>

#include "platform/random.h"

namespace media_socket {

std::string NewGuidString() {
    unsigned char b[16];
    if (!platform::RandomBytes(b, sizeof(b)))
        return std::string();
    uint32_t data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    unsigned data2 = (unsigned(b[4]) << 8) | b[5];
    // Version 4 (random) in the third group, RFC 4122 variant in the fourth.
    unsigned data3 = (((unsigned(b[6]) << 8) | b[7]) & 0x0fffu) | 0x4000u;
    b[8] = static_cast<unsigned char>((b[8] & 0x3fu) | 0x80u);
    char text[64];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

}  // namespace media_socket
