// Feeds arbitrary bytes to the media stream reassembly twice, whole and cut
// into deliveries, and requires both to deliver exactly the same packets and
// to fail at the same point.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/stream-packet-assembler.h"

namespace {

using media_socket::StreamPacketAssembler;

// A small buffer so that the "does not fit" paths are reachable.
constexpr size_t kCapacity = 4096;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Every byte of a payload is read, so an out-of-bounds pointer shows.
uint32_t Digest(const char* p, unsigned n) {
    uint32_t h = 2166136261u;
    for (unsigned i = 0; i < n; ++i)
        h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
    return h;
}

struct Recorder {
    std::vector<uint32_t> events;
    void Wire(StreamPacketAssembler& a) {
        a.SetVideoCallback([this](const char* d, unsigned n, unsigned kind) {
            events.insert(events.end(), {1u, n, kind, Digest(d, n)});
        });
        a.SetAudioCallback(
            [this](const char* d, unsigned n, unsigned rate, unsigned ch, unsigned bits) {
                Check(ch != 0);
                events.insert(events.end(), {2u, n, rate, ch, bits, Digest(d, n)});
            });
        a.SetTokenCallback([this](const char* d, unsigned n) {
            events.insert(events.end(), {0u, n, Digest(d, n)});
            // Tokens starting with 'X' are refused, like a wrong key.
            return n == 0 || d[0] != 'X';
        });
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned step = 1u + data[0] * 3u;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t len = size - 1;

    StreamPacketAssembler whole(kCapacity);
    Recorder a;
    a.Wire(whole);
    auto whole_result = whole.Feed(bytes, len);

    StreamPacketAssembler cut(kCapacity);
    Recorder b;
    b.Wire(cut);
    auto cut_result = StreamPacketAssembler::Result::kOk;
    for (size_t pos = 0; pos < len && cut_result == StreamPacketAssembler::Result::kOk;) {
        // Vary the cut: step, then a single byte, then step again.
        size_t n = std::min<size_t>((pos / step) % 3 == 1 ? 1 : step, len - pos);
        cut_result = cut.Feed(bytes + pos, n);
        Check(cut.Fill() <= kCapacity);
        pos += n;
    }
    Check(whole_result == cut_result);
    Check(a.events == b.events);
    if (whole_result == StreamPacketAssembler::Result::kOk)
        Check(whole.Fill() == cut.Fill());
    return 0;
}
