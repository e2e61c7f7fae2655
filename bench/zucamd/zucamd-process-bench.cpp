// The real zucamd at 1080p30 High profile, fed by the phone simulator over
// loopback TCP and watched through its camera queue. A measured program, not
// a Google Benchmark: each figure needs a whole server process.
//
//   zucamd_process_bench throughput [RUNS]  (default 5)
//     The stream of bench/ffmpeg's throughput benchmark, sent as fast as
//     zucamd takes it. Pictures published per second against
//     `ffmpeg -threads 1 -i X -f null -` on the same file, the two run in
//     turn; best of RUNS each (aim: ratio >= 0.9). Counts pictures the queue
//     published (not packets sent) and checks them against a reference
//     decode, and the packets zucamd's decoder discarded.
//   zucamd_process_bench memory [SECONDS]   (default 60)
//     One 1080p30 stream paced like a phone for SECONDS; zucamd's resident
//     memory sampled every second (aim: <= 200 MiB, no growth after 10 s).
//
// Run as root: it re-runs itself in a private network namespace (loopback
// only) with a private /dev/shm, and starts zucamd from its own folder:
//   ZUCAM_BIN_DIR=build/<dir>/bin build/<dir>/bin/zucamd_process_bench throughput
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/ffmpeg/decoder-bench-support.h"
#include "bench/zucamd/zucamd-bench-support.h"
#include "bench/zucamd/zucamd-process.h"
#include "platform/child-process.h"
#include "platform/process-usage.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using zubench::Clock;

constexpr int kPort = 10080;

struct PassResult {
    bool ok = false;
    double fps = 0;     // pictures published per second, first to last
    double cpuFps = 0;  // pictures per second of zucamd's processor time
    uint32_t published = 0;
    long long discarded = 0;
};

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Says what went wrong; returns the program's failure status.
int Fail(const std::string& what) {
    std::fprintf(stderr, "zucamd_process_bench: %s\n", what.c_str());
    return 1;
}

// One zucamd, one unpaced phone, the whole file.
PassResult ThroughputPass(const std::string& path, uint32_t expected) {
    PassResult r;
    zubench::Workspace workspace;
    zubench::Zucamd zucamd(workspace);
    zubench::QueueWatch watch;
    std::string error;
    if (!zucamd.Start(kPort, &error) || !watch.Start(200, 5000, &error)) {
        Fail(error);
        return r;
    }
    platform::ProcessUsage before;
    platform::ProcessUsage after;
    platform::ReadProcessUsage(zucamd.pid(), &before);
    // Held open until the queue has every picture and then stays still: the
    // count is of pictures published, and none beyond the reference came.
    zubench::FloodPhone phone;
    bool all = phone.Run(
        kPort, path, [&] { return watch.published() >= expected && watch.QuietFor(500); }, 120000,
        &error);
    platform::ReadProcessUsage(zucamd.pid(), &after);
    if (!all)
        Fail(error);
    watch.Stop();
    r.published = watch.published();
    r.discarded = zucamd.DiscardedPackets();
    zucamd.Stop();
    Clock::time_point first;
    Clock::time_point last;
    if (!all || !watch.ReachedAt(1, &first) || !watch.ReachedAt(expected, &last)) {
        Fail("only " + std::to_string(r.published) + " of " + std::to_string(expected) +
             " pictures reached the queue");
        return r;
    }
    // From the first publication to the last: expected - 1 decoding intervals.
    r.fps = (expected - 1) / Seconds(first, last);
    r.cpuFps = expected / (after.cpuSeconds - before.cpuSeconds);
    r.ok = true;
    return r;
}

int Throughput(int runs) {
    zutest::H264StreamRecipe recipe = zubench::ThroughputRecipe();
    std::vector<zutest::AccessUnit> units = zubench::LoadStream(recipe);
    std::string path = zutest::StreamCachePath(recipe);
    auto expected = static_cast<uint32_t>(zubench::ReferencePictures(units).size());
    std::printf("stream %s: %zu access units, %u pictures expected in the queue\n", path.c_str(),
                units.size(), expected);
    std::vector<double> fps, cpuFps, cliFps, cliCpuFps;
    bool complete = true;
    for (int i = 0; i < runs; ++i) {
        PassResult pass = ThroughputPass(path, expected);
        zubench::CliDecodeResult cli = zubench::DecodeWithFfmpegCli(path, 1);
        if (!pass.ok || !cli.ok)
            return Fail(cli.ok ? "the zucamd pass failed" : "the ffmpeg command failed");
        complete = complete && pass.published == expected && pass.discarded == 0;
        fps.push_back(pass.fps);
        cpuFps.push_back(pass.cpuFps);
        cliFps.push_back(cli.frames / cli.seconds);
        cliCpuFps.push_back(cli.frames / cli.cpuSeconds);
        std::printf(
            "run %d: zucamd %.1f pictures/s (%.1f per CPU second), published %u, "
            "discarded packets %lld; ffmpeg %.1f frames/s (%.1f per CPU second), %d "
            "frames\n",
            i + 1, pass.fps, pass.cpuFps, pass.published, pass.discarded, cliFps.back(),
            cliCpuFps.back(), cli.frames);
    }
    auto best = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    auto median = [](const std::vector<double>& v) { return zubench::Percentile(v, 50); };
    std::printf("zucamd fps best=%.1f median=%.1f | ffmpeg fps best=%.1f median=%.1f\n", best(fps),
                median(fps), best(cliFps), median(cliFps));
    std::printf(
        "ratio_to_ffmpeg (best/best)=%.3f  cpu_ratio_to_ffmpeg (best/best)=%.3f  "
        "complete=%s  target>=0.9\n",
        best(fps) / best(cliFps), best(cpuFps) / best(cliCpuFps), complete ? "yes" : "NO");
    return complete ? 0 : 1;
}

void PrintSample(int second, const platform::ProcessUsage& u, double cpu, uint32_t published) {
    std::printf(
        "%4d s  VmRSS %7.1f MiB  anon %6.1f  file %5.1f  shmem %5.1f  cpu %5.1f%%  "
        "published %u\n",
        second, u.residentKiB / 1024.0, u.anonymousKiB / 1024.0, u.fileKiB / 1024.0,
        u.sharedMemKiB / 1024.0, cpu * 100, published);
}

// True when the target holds: at most 200 MiB resident, and flat after the
// first 10 s (never more than 1 MiB above the 10 s sample: a margin for the
// allocator's own breathing, far below one picture of 3 MiB).
bool PrintMemorySummary(const std::vector<platform::ProcessUsage>& samples, int seconds) {
    long long maxRss = 0;
    long long minLate = samples.back().residentKiB;
    long long maxLate = 0;
    for (size_t s = 0; s < samples.size(); ++s) {
        maxRss = std::max(maxRss, samples[s].residentKiB);
        if (s >= 10) {
            minLate = std::min(minLate, samples[s].residentKiB);
            maxLate = std::max(maxLate, samples[s].residentKiB);
        }
    }
    size_t at10 = std::min<size_t>(10, samples.size() - 1);
    long long growth = maxLate - samples[at10].residentKiB;
    bool ok = maxRss <= 200 * 1024 && growth <= 1024;
    std::printf(
        "VmRSS max=%.1f MiB  VmHWM=%.1f MiB  at 10 s=%.1f MiB  at %d s=%.1f MiB  "
        "growth 10 s..end=%+lld KiB  spread 10 s..end=%lld KiB  meets_target=%s "
        "(<= 200 MiB, flat)\n",
        maxRss / 1024.0, samples.back().peakResidentKiB / 1024.0,
        samples[at10].residentKiB / 1024.0, seconds, samples.back().residentKiB / 1024.0, growth,
        maxLate - minLate, ok ? "yes" : "NO");
    return ok;
}

int Memory(int seconds) {
    zutest::H264StreamRecipe recipe = zubench::LiveRecipe();
    zubench::LoadStream(recipe);
    std::string path = zutest::StreamCachePath(recipe);
    zubench::Workspace workspace;
    zubench::Zucamd zucamd(workspace);
    zubench::QueueWatch watch;
    std::string error;
    if (!zucamd.Start(kPort, &error) || !watch.Start(5000, 5000, &error))
        return Fail(error);
    zubench::PhoneRun phone;
    phone.Start({kPort, path, 30, true, seconds + 3.0});
    if (!watch.WaitFor(1, 20000))
        return Fail("no picture reached the queue");
    std::printf("stream %s looped at 30 pictures/s; samples from the first picture on\n",
                path.c_str());
    std::vector<platform::ProcessUsage> samples;
    auto start = Clock::now();
    for (int s = 0; s <= seconds; ++s) {
        std::this_thread::sleep_until(start + std::chrono::seconds(s));
        platform::ProcessUsage u;
        if (!platform::ReadProcessUsage(zucamd.pid(), &u))
            return Fail("zucamd ended early:\n" + zucamd.Stderr());
        double cpu = samples.empty() ? 0 : u.cpuSeconds - samples.back().cpuSeconds;
        samples.push_back(u);
        PrintSample(s, u, cpu, watch.published());
    }
    uint32_t published = watch.published();
    if (!phone.Wait(30000 + seconds * 1000) || phone.exitCode() != 0)
        return Fail("the phone session failed:\n" + phone.Output());
    watch.Stop();
    long long discarded = zucamd.DiscardedPackets();
    zucamd.Stop();

    std::printf("published %u pictures, discarded packets %lld\n", published, discarded);
    return PrintMemorySummary(samples, seconds) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    zubench::EnterSandbox(argc, argv);
    if (!zubench::InsideSandbox())
        return 1;
    platform::IgnoreBrokenPipe();
    av_log_set_level(AV_LOG_QUIET);
    std::string mode = argc > 1 ? argv[1] : "";
    int count = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "throughput")
        return Throughput(count > 0 ? count : 5);
    if (mode == "memory")
        return Memory(count > 0 ? count : 60);
    std::fprintf(stderr, "usage: zucamd_process_bench throughput [RUNS] | memory [SECONDS]\n");
    return 2;
}
