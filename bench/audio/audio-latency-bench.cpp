// Needs a PulseAudio server (the stream is real); run it on its own:
//   build/<dir>/bin/audio_latency_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "devices/virtaul-audio-device-manager.h"
#include "platform/child-process.h"
#include "platform/fifo.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPacketSamples = 960;  // 20 ms at 48 kHz mono, as a phone sends
constexpr int kPackets = 500;        // 10 s

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t i = static_cast<size_t>(std::ceil(p * values.size())) - 1;
    return values[std::min(i, values.size() - 1)];
}

// Every packet carries its own number in every sample (48 kHz mono passes
// the resampler unchanged), so the reader of the link knows which packet a
// block brings and when it left the callback.
void BM_PushToCallbackLatency(benchmark::State& state) {
    std::string dir = platform::RuntimeDir() + "/zucam-audio-bench";
    platform::MakeDirs(dir, 0700);
    const std::string fifo = dir + "/link";
    platform::RemoveFile(fifo);
    if (!platform::MakeFifo(fifo)) {
        state.SkipWithError("cannot create the FIFO");
        return;
    }
    platform::FifoReader reader;
    reader.open(fifo);
    VirtaulAudioDeviceManager manager;
    if (!manager.openDeviceLink(fifo) || !manager.openStream()) {
        state.SkipWithError("no link or no PulseAudio stream (is a server running?)");
        return;
    }

    std::vector<Clock::time_point> pushed(kPackets + 1);
    std::vector<Clock::time_point> arrived(kPackets + 1);
    std::vector<bool> seen(kPackets + 1, false);
    std::atomic<bool> stop{false};
    std::thread sink([&] {
        std::vector<int16_t> block(4096);
        while (!stop) {
            long n = reader.read(block.data(), block.size() * 2, 20);
            const auto now = Clock::now();
            for (long i = 0; i < n / 2; ++i) {
                int v = block[i];
                if (v > 0 && v <= kPackets && !seen[v]) {
                    seen[v] = true;
                    arrived[v] = now;
                }
            }
        }
    });

    // The null sink of a headless server starts pulling only after a while.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::vector<int16_t> packet(kPacketSamples);
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int seq = 1; seq <= kPackets; ++seq) {
            std::fill(packet.begin(), packet.end(), static_cast<int16_t>(seq));
            std::this_thread::sleep_until(start + std::chrono::milliseconds(20 * (seq - 1)));
            pushed[seq] = Clock::now();
            manager.pushAudio(packet.data(), kPacketSamples, 48000, 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    stop = true;
    sink.join();

    std::vector<double> latencies;
    for (int seq = 1; seq <= kPackets; ++seq) {
        if (!seen[seq])
            continue;
        latencies.push_back(
            std::chrono::duration<double, std::milli>(arrived[seq] - pushed[seq]).count());
    }
    state.counters["packets"] = kPackets;
    state.counters["delivered"] = static_cast<double>(latencies.size());
    state.counters["p50_ms"] = Percentile(latencies, 0.50);
    state.counters["p99_ms"] = Percentile(latencies, 0.99);
    state.counters["max_ms"] = Percentile(latencies, 1.0);
    platform::RemoveFile(fifo);
}
BENCHMARK(BM_PushToCallbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

// The phone's 10 ms of 44.1 kHz stereo: resampling and staging.
void BM_PushAudio(benchmark::State& state) {
    VirtaulAudioDeviceManager manager;
    std::vector<int16_t> pcm(441 * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 1000 * (i / 2) / 44100.0));
    }
    std::vector<int16_t> out(VirtaulAudioDeviceManager::kBlockFrames);
    int n = 0;
    for (auto _ : state) {
        manager.pushAudio(pcm.data(), 441, 44100, 2);
        if (++n % 4 == 0)
            manager.renderBlock(out.data(), VirtaulAudioDeviceManager::kBlockFrames);
    }
}
BENCHMARK(BM_PushAudio)->Unit(benchmark::kMicrosecond);

// One output callback over a full staging buffer, without a link.
void BM_RenderBlock(benchmark::State& state) {
    VirtaulAudioDeviceManager manager;
    std::vector<int16_t> pcm(VirtaulAudioDeviceManager::kBlockFrames, 1234);
    std::vector<int16_t> out(VirtaulAudioDeviceManager::kBlockFrames);
    for (auto _ : state) {
        manager.pushAudio(pcm.data(), static_cast<int>(pcm.size()), 48000, 1);
        benchmark::DoNotOptimize(
            manager.renderBlock(out.data(), VirtaulAudioDeviceManager::kBlockFrames));
    }
}
BENCHMARK(BM_RenderBlock)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
