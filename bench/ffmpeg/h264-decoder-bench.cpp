// H.264 decoder benchmarks at 1080p30 High profile.
//
// BM_DecoderThroughput: the whole road pushPacket -> decode thread -> frame
// sink, as fast as it goes, against `ffmpeg -threads 1 -i X -f null -` on the
// same file in the same run (counter ratio_to_ffmpeg, wall clock, aim >= 0.9;
// cpu_ratio_to_ffmpeg compares CPU time, which load on the machine disturbs less).
// BM_DecoderLatency: pushes at real-time pace and measures pushPacket to
// delivery per picture (p50/p99, milliseconds) beside the mean decode time of
// one picture (aim: p99 <= 1.3 x mean decode + 2 ms; counter meets_target).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/ffmpeg/decoder-bench-support.h"
#include "dep/QtComponent/ffmpeg/h264-decoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace {

using zubench::Clock;

// Counts deliveries and remembers when each picture (by pts) arrived.
class TimingSink : public DecodeFrameCallback {
public:
    explicit TimingSink(size_t capacity) : arrived_(capacity) {}

    void OnDecodeFrame(const FrameHolder& frame) override {
        auto now = Clock::now();
        long long pts = frame.get()->pts;
        std::lock_guard<std::mutex> lock(mutex_);
        if (pts >= 0 && static_cast<size_t>(pts) < arrived_.size())
            arrived_[pts] = now;
        ++count_;
        cv_.notify_all();
    }
    void OnReInitDecoder() override {}

    bool waitFor(size_t n, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return count_ >= n; });
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }
    std::vector<Clock::time_point> arrived() {
        std::lock_guard<std::mutex> lock(mutex_);
        return arrived_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Clock::time_point> arrived_;
    size_t count_ = 0;
};

// How many pictures one pass over `units` delivers (the reorder buffer keeps
// the last few of a stream with B-frames).
size_t DeliveredPerPass(const std::vector<zutest::AccessUnit>& units) {
    TimingSink sink(units.size());
    H264Decoder decoder;
    if (!decoder.init(&sink, {}))
        return 0;
    for (size_t i = 0; i < units.size(); ++i)
        decoder.pushPacket(zutest::ToPacket(units[i], i));
    size_t last = 0;
    do {
        last = sink.count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    } while (sink.count() != last || decoder.pendingCount() > 0);
    return last;
}

void BM_DecoderThroughput(benchmark::State& state) {
    av_log_set_level(AV_LOG_QUIET);
    zutest::H264StreamRecipe recipe = zubench::ThroughputRecipe();
    std::vector<zutest::AccessUnit> units = zubench::LoadStream(recipe);
    std::string path = zutest::StreamCachePath(recipe);
    size_t expected = DeliveredPerPass(units);
    // Best of each side, the ffmpeg command run between our passes, so both
    // see the same machine (load on a shared machine comes and goes).
    zubench::FfmpegComparison comparison;
    for (auto _ : state) {
        std::vector<PacketHolder> packets;
        for (size_t i = 0; i < units.size(); ++i)
            packets.push_back(zutest::ToPacket(units[i], i));
        TimingSink sink(units.size());
        H264Decoder decoder;
        if (!decoder.init(&sink, {})) {
            state.SkipWithError("init failed");
            return;
        }
        std::clock_t cpu0 = std::clock();  // every thread of this process
        auto t0 = Clock::now();
        for (PacketHolder& packet : packets)
            decoder.pushPacket(std::move(packet));
        if (!sink.waitFor(expected, std::chrono::seconds(120))) {
            state.SkipWithError("pictures missing");
            return;
        }
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
        state.SetIterationTime(s);
        comparison.addOurs(s, cpu);
        if (!comparison.addFfmpeg(path)) {
            state.SkipWithError("the ffmpeg command did not run");
            return;
        }
    }
    comparison.report(state, static_cast<double>(units.size()));
    state.counters["delivered"] = static_cast<double>(expected);
    state.counters["packets"] = static_cast<double>(units.size());
}
BENCHMARK(BM_DecoderThroughput)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DecoderLatency(benchmark::State& state) {
    av_log_set_level(AV_LOG_QUIET);
    std::vector<zutest::AccessUnit> units = zubench::LoadStream(zubench::LiveRecipe());
    // Decode cost of each picture on its own, to tell it from the time the
    // packet spends queued and the thread takes to wake.
    std::vector<double> decodeUs = zubench::DecodeTimesMicros(units, 30.0);
    if (decodeUs.size() != units.size()) {
        state.SkipWithError("the reference decode failed");
        return;
    }
    std::vector<double> latencies;
    std::vector<double> overheads;
    for (auto _ : state) {
        TimingSink sink(units.size());
        H264Decoder decoder;
        if (!decoder.init(&sink, {})) {
            state.SkipWithError("init failed");
            return;
        }
        auto t0 = Clock::now();
        std::vector<Clock::time_point> pushed = zubench::FeedRealTime(
            units.size(), 30.0,
            [&](size_t i) { decoder.pushPacket(zutest::ToPacket(units[i], i)); });
        // A stall longer than the pacing lets the next IDR picture discard
        // what waits, by design; those pictures never come.
        sink.waitFor(units.size(), std::chrono::seconds(1));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        std::vector<Clock::time_point> arrived = sink.arrived();
        for (size_t i = 0; i < units.size(); ++i) {
            if (arrived[i] == Clock::time_point())
                continue;
            double ms = std::chrono::duration<double, std::milli>(arrived[i] - pushed[i]).count();
            latencies.push_back(ms);
            overheads.push_back(ms - decodeUs[i] / 1000.0);
        }
    }
    double meanDecodeMs = zubench::Mean(decodeUs) / 1000.0;
    double p99 = zubench::Percentile(latencies, 99);
    double target = 1.3 * meanDecodeMs + 2.0;
    state.counters["p50_ms"] = zubench::Percentile(latencies, 50);
    state.counters["p99_ms"] = p99;
    state.counters["max_ms"] = zubench::Percentile(latencies, 100);
    state.counters["decode_mean_ms"] = meanDecodeMs;
    state.counters["decode_p50_ms"] = zubench::Percentile(decodeUs, 50) / 1000.0;
    state.counters["decode_p99_ms"] = zubench::Percentile(decodeUs, 99) / 1000.0;
    state.counters["overhead_p50_ms"] = zubench::Percentile(overheads, 50);
    state.counters["overhead_p99_ms"] = zubench::Percentile(overheads, 99);
    state.counters["target_p99_ms"] = target;
    state.counters["meets_target"] = p99 <= target ? 1 : 0;
    state.counters["delivered"] = static_cast<double>(latencies.size());
    state.counters["discarded"] =
        static_cast<double>(units.size() * state.iterations() - latencies.size());
}
BENCHMARK(BM_DecoderLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
