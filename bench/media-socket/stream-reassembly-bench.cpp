// Reassembly alone: how fast the stream packet assembler turns deliveries
// into callbacks, for 1080p-sized video packets arriving in 64 KiB pieces and
// for a burst of small audio packets arriving in one delivery.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "bench/media-socket/bench-packets.h"
#include "dep/QtComponent/media-socket/stream-packet-assembler.h"

namespace {

using media_socket::StreamPacketAssembler;

void BM_VideoPacketsIn64KiBChunks(benchmark::State& state) {
    const size_t kPacket = 200 * 1000;
    const size_t kChunk = 64 * 1024;
    std::string stream;
    for (int i = 0; i < 50; ++i)
        stream += msbench::VideoPacket(i == 0 ? 2 : 0, kPacket);
    StreamPacketAssembler assembler;
    size_t delivered = 0;
    assembler.SetVideoCallback([&](const char* data, unsigned len, unsigned) {
        benchmark::DoNotOptimize(data);
        delivered += len;
    });
    for (auto _ : state) {
        for (size_t pos = 0; pos < stream.size(); pos += kChunk) {
            size_t n = std::min(kChunk, stream.size() - pos);
            assembler.Feed(stream.data() + pos, n);
        }
    }
    if (delivered != 50 * kPacket * static_cast<size_t>(state.iterations()))
        state.SkipWithError("packets lost");
    state.SetBytesProcessed(static_cast<int64_t>(stream.size() * state.iterations()));
}
BENCHMARK(BM_VideoPacketsIn64KiBChunks);

void BM_AudioPacketsInOneDelivery(benchmark::State& state) {
    std::string stream;
    for (int i = 0; i < 2000; ++i)
        stream += msbench::AudioPacket(3840);
    StreamPacketAssembler assembler;
    size_t packets = 0;
    assembler.SetAudioCallback([&](const char* data, unsigned, unsigned, unsigned, unsigned) {
        benchmark::DoNotOptimize(data);
        ++packets;
    });
    for (auto _ : state)
        assembler.Feed(stream.data(), stream.size());
    if (packets != 2000 * static_cast<size_t>(state.iterations()))
        state.SkipWithError("packets lost");
    state.SetBytesProcessed(static_cast<int64_t>(stream.size() * state.iterations()));
}
BENCHMARK(BM_AudioPacketsInOneDelivery);

// The same burst when every packet also straddles a delivery boundary
// (deliveries of 1000 bytes): the copy path.
void BM_AudioPacketsInSmallDeliveries(benchmark::State& state) {
    std::string stream;
    for (int i = 0; i < 2000; ++i)
        stream += msbench::AudioPacket(3840);
    StreamPacketAssembler assembler;
    assembler.SetAudioCallback([&](const char* data, unsigned, unsigned, unsigned, unsigned) {
        benchmark::DoNotOptimize(data);
    });
    for (auto _ : state) {
        for (size_t pos = 0; pos < stream.size(); pos += 1000) {
            assembler.Feed(stream.data() + pos, std::min<size_t>(1000, stream.size() - pos));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(stream.size() * state.iterations()));
}
BENCHMARK(BM_AudioPacketsInSmallDeliveries);

}  // namespace
