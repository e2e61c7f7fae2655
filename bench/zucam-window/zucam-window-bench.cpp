// What ZuCam's window costs: one 1080p30 High profile stream, paced like a
// phone over loopback TCP, served in turn by zucamd and by zucam showing it
// with each renderer, in the same run. A measured program, not a Google
// Benchmark: each figure needs a whole program on the X server.
//
//   zucam_window_bench [SECONDS] [ROUNDS]   (defaults 20 and 1)
//
// For each program, after 3 s of warm-up, over SECONDS:
//   cpu      processor time of the program over wall time, in cores (aim: the
//            window adds at most 0.5 of a core to zucamd's figure);
//   latency  from the phone pushing a picture to the camera queue's
//            published counter moving for it, p50/p99 (aim: the window's p99
//            within 1 ms of zucamd's);
//   stall    zucam only: round trip of a _NET_WM_PING answered by the GUI
//            thread's event loop, sent every 10 ms, p50/p99/max (aim: p99 at
//            most 16 ms);
//   memory   resident size at the end of the measurement and its peak
//            (VmRSS, VmHWM), with the anonymous / file / shared memory parts
//            (aim: the window with the software renderer at most 120 MB, and
//            its processor time at most 1.5 times zucamd's).
// Rounds alternate the programs so a change in the machine's load touches
// them alike; the summary takes the median over the rounds of each figure
// less zucamd's in the same round.
//
// Run as root with DISPLAY naming an X server without a window manager
// (Xvfb); it re-runs itself in a private network namespace (loopback only):
//   ZUCAM_BIN_DIR=build/<dir>/bin build/<dir>/bin/zucam_window_bench 20 3
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/ffmpeg/decoder-bench-support.h"
#include "bench/zucam-window/paced-phone.h"
#include "bench/zucam-window/served-program.h"
#include "bench/zucam-window/wm-ping.h"
#include "bench/zucamd/zucamd-bench-support.h"
#include "bench/zucamd/zucamd-process.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-usage.h"

namespace {

using zubench::Clock;

constexpr int kPort = 10080;
constexpr double kFps = 30;
constexpr double kWarmUpSeconds = 3;

struct Result {
    bool ok = false;
    bool complete = false;  // every picture pushed was published
    double cores = 0;
    platform::ProcessUsage memory;  // at the end of the measurement
    double latencyP50 = 0;
    double latencyP99 = 0;
    double stallP50 = 0;
    double stallP99 = 0;
    double stallMax = 0;
    int lostPings = 0;
    size_t pushed = 0;
    uint32_t published = 0;
};

int Fail(const std::string& what) {
    std::fprintf(stderr, "zucam_window_bench: %s\n", what.c_str());
    return 1;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Pushes to publication, for the pictures pushed after the warm-up. The
// n-th picture pushed is the n-th published: false when any went missing.
bool Latencies(const std::vector<Clock::time_point>& pushes, zubench::QueueWatch* watch,
               uint32_t base, Clock::time_point from, std::vector<double>* out) {
    for (size_t k = 0; k < pushes.size(); ++k) {
        Clock::time_point at;
        if (!watch->ReachedAt(base + static_cast<uint32_t>(k) + 1, &at))
            return false;
        if (pushes[k] >= from)
            out->push_back(Ms(at - pushes[k]));
    }
    return true;
}

// Pings the window every 10 ms until `until`; round trips in ms.
std::vector<double> PingUntil(zubench::WmPing* ping, Clock::time_point until, int* lost) {
    std::vector<double> trips;
    while (Clock::now() < until) {
        const auto next = Clock::now() + std::chrono::milliseconds(10);
        double ms = ping->Ping(2000);
        if (ms < 0)
            ++*lost;
        else
            trips.push_back(ms);
        std::this_thread::sleep_until(next);
    }
    return trips;
}

Result Measure(const zubench::ServedProgram::Kind kind,
               const std::vector<phonesim::AccessUnit>& units, double seconds) {
    Result r;
    zubench::Workspace workspace;
    zubench::ServedProgram program(workspace);
    zubench::QueueWatch watch;
    std::string error;
    if (!program.Start(kind, kPort, &error) || !watch.Start(200, 30000, &error)) {
        Fail(error);
        return r;
    }
    zubench::WmPing ping;
    if (!program.window().empty() && !ping.Open(program.window(), &error)) {
        Fail(error);
        return r;
    }
    const uint32_t base = watch.published();
    zubench::PacedPhone phone;
    if (!phone.Connect(kPort, 30000, &error)) {
        Fail(error);
        return r;
    }
    bool streamed = false;
    std::thread sender(
        [&] { streamed = phone.Stream(units, kFps, kWarmUpSeconds + seconds, &error); });
    const auto start = Clock::now();
    const auto from = start + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(kWarmUpSeconds));
    const auto until = from + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds - 0.5));
    std::this_thread::sleep_until(from);
    platform::ProcessUsage before;
    platform::ProcessUsage after;
    platform::ReadProcessUsage(program.pid(), &before);
    const auto measuredFrom = Clock::now();
    std::vector<double> trips;
    if (program.window().empty())
        std::this_thread::sleep_until(until);
    else
        trips = PingUntil(&ping, until, &r.lostPings);
    platform::ReadProcessUsage(program.pid(), &after);
    r.memory = after;
    const double wall = std::chrono::duration<double>(Clock::now() - measuredFrom).count();
    sender.join();
    r.pushed = phone.pushes().size();
    watch.WaitFor(base + static_cast<uint32_t>(r.pushed), 5000);
    r.published = watch.published() - base;
    phone.Finish();
    watch.Stop();
    program.Stop();
    if (!streamed) {
        Fail("the stream broke off: " + error);
        return r;
    }
    // A decoder that falls behind drops what a key picture overtakes (by
    // design); pictures can then no longer be told apart by their order.
    std::vector<double> latencies;
    r.complete = Latencies(phone.pushes(), &watch, base, from, &latencies);
    r.cores = (after.cpuSeconds - before.cpuSeconds) / wall;
    if (r.complete) {
        r.latencyP50 = zubench::Percentile(latencies, 50);
        r.latencyP99 = zubench::Percentile(latencies, 99);
    }
    if (!trips.empty()) {
        r.stallP50 = zubench::Percentile(trips, 50);
        r.stallP99 = zubench::Percentile(trips, 99);
        r.stallMax = *std::max_element(trips.begin(), trips.end());
    }
    r.ok = true;
    return r;
}

void PrintRun(const char* name, const Result& r) {
    std::printf("  %-16s cpu %.3f cores  ", name, r.cores);
    if (r.complete)
        std::printf("latency p50 %.2f ms p99 %.2f ms", r.latencyP50, r.latencyP99);
    else
        std::printf("latency not measured (the decoder dropped pictures)");
    std::printf("  pushed %zu published %u", r.pushed, r.published);
    const platform::ProcessUsage& m = r.memory;
    std::printf("\n  %-16s rss %.1f MB (peak %.1f; anon %.1f file %.1f shmem %.1f)", "",
                m.residentKiB / 1024.0, m.peakResidentKiB / 1024.0, m.anonymousKiB / 1024.0,
                m.fileKiB / 1024.0, m.sharedMemKiB / 1024.0);
    if (r.stallP99 > 0 || r.lostPings > 0)
        std::printf("  stall p50 %.2f p99 %.2f max %.2f ms (lost %d)", r.stallP50, r.stallP99,
                    r.stallMax, r.lostPings);
    std::printf("\n");
    std::fflush(stdout);
}

// The median over the rounds of the window's figure less zucamd's in the same
// round (the machine's load changes between rounds, less within one); for
// latencies only rounds where both were measured count. -1e9 when none.
double MedianAdded(const std::vector<Result>& window, const std::vector<Result>& zucamd,
                   double Result::*field) {
    const bool latency = field == &Result::latencyP99;
    std::vector<double> v;
    for (size_t i = 0; i < window.size() && i < zucamd.size(); ++i) {
        if (!latency || (window[i].complete && zucamd[i].complete))
            v.push_back(window[i].*field - zucamd[i].*field);
    }
    return v.empty() ? -1e9 : zubench::Percentile(v, 50);
}

double Median(const std::vector<Result>& runs, double Result::*field) {
    std::vector<double> v;
    for (const Result& r : runs)
        v.push_back(r.*field);
    return zubench::Percentile(v, 50);
}

double ResidentMB(const Result& r) {
    return r.memory.residentKiB / 1024.0;
}

// The window with the software renderer against zucamd: its processor time
// as a multiple of zucamd's in the same round, and its resident size.
bool PrintLean(const std::vector<Result>& painter, const std::vector<Result>& zucamd) {
    std::vector<double> ratios;
    std::vector<double> sizes;
    for (size_t i = 0; i < painter.size() && i < zucamd.size(); ++i) {
        if (zucamd[i].cores > 0)
            ratios.push_back(painter[i].cores / zucamd[i].cores);
        sizes.push_back(ResidentMB(painter[i]));
    }
    const double ratio = ratios.empty() ? 1e9 : zubench::Percentile(ratios, 50);
    const double size = zubench::Percentile(sizes, 50);
    const bool ok = ratio <= 1.5 && size <= 120;
    std::printf(
        "  zucam painter  uses %.2f x zucamd's processor time (<= 1.5), rss %.1f MB "
        "(<= 120): %s\n",
        ratio, size, ok ? "meets the targets" : "MISSES");
    return ok;
}

double LoadAverage() {
    std::string text;
    platform::ReadWholeFile("/proc/loadavg", &text);
    return std::atof(text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    zubench::EnterSandbox(argc, argv);
    if (!zubench::InsideSandbox())
        return 1;
    if (platform::GetEnv("DISPLAY").empty())
        return Fail("set DISPLAY to an X server without a window manager (Xvfb)");
    platform::IgnoreBrokenPipe();
    const double seconds = argc > 1 ? std::max(5.0, std::atof(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    zutest::H264StreamRecipe recipe = zubench::LiveRecipe();
    zubench::LoadStream(recipe);
    std::vector<phonesim::AccessUnit> units;
    std::string error;
    if (!zubench::PacedPhone::Load(zutest::StreamCachePath(recipe), &units, &error))
        return Fail(error);
    std::printf("stream %s: %zu pictures looped at %.0f/s, %.0f s measured after %.0f s\n",
                zutest::StreamCachePath(recipe).c_str(), units.size(), kFps, seconds,
                kWarmUpSeconds);

    using Kind = zubench::ServedProgram::Kind;
    const Kind kinds[] = {Kind::kZucamd, Kind::kWindowPainter, Kind::kWindowOpenGL};
    const char* names[] = {"zucamd", "zucam painter", "zucam OpenGL"};
    std::vector<Result> runs[3];
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d (load average %.2f)\n", round + 1, LoadAverage());
        for (int i = 0; i < 3; ++i) {
            Result r = Measure(kinds[i], units, seconds);
            if (!r.ok)
                return Fail(std::string(names[i]) + " could not be measured");
            PrintRun(names[i], r);
            runs[i].push_back(r);
        }
    }
    bool all = true;
    std::printf(
        "medians of %d round(s), each against zucamd in the same round; load average "
        "now %.2f:\n",
        rounds, LoadAverage());
    for (int i = 1; i < 3; ++i) {
        const double addedCores = MedianAdded(runs[i], runs[0], &Result::cores);
        const double addedP99 = MedianAdded(runs[i], runs[0], &Result::latencyP99);
        const bool measured = addedP99 > -1e8;
        const double stall = Median(runs[i], &Result::stallP99);
        const bool ok = addedCores <= 0.5 && measured && addedP99 <= 1.0 && stall <= 16.0;
        all = all && ok;
        std::printf(
            "  %-14s adds %.3f cores (<= 0.5), latency p99 %+.2f ms (<= +1; %s), GUI stall p99 "
            "%.2f ms (<= 16): %s\n",
            names[i], addedCores, measured ? addedP99 : 0.0, measured ? "measured" : "NOT measured",
            stall, ok ? "meets the targets" : "MISSES");
    }
    all = PrintLean(runs[1], runs[0]) && all;
    return all ? 0 : 1;
}
