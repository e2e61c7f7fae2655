// What recording costs while the camera is served: the real zucamd, fed a
// 1080p30 picture and a 44.1 kHz stereo tone by the phone simulator over
// loopback, measured for SECONDS without and then SECONDS with an MP4
// recording running. A measured program, not a Google Benchmark: each figure
// needs a whole server process.
//
//   record_cpu_bench [SECONDS] [RUNS]    (defaults 10 and 1)
//
// Per run: zucamd's processor time per second of wall time (user + system of
// all its threads, from /proc) in both windows, the difference (what one
// second of recording costs), the pictures and audio blocks the recording
// dropped from its full queues (zucamd's "recording dropped ..." line; no
// line means none), and the pictures that reached the file.
//
// Run as root: it re-runs itself in a private network namespace (loopback
// only) and gives itself a camera queue of its own:
//   ZUCAM_BIN_DIR=build/<dir>/bin build/<dir>/bin/record_cpu_bench 10 3
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/paths.h"
#include "platform/process-usage.h"
#include "tests/support/isolation.h"
#include "tests/support/private-network.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tests/tools/zucamd/media-probe.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUpSeconds = 3;
constexpr int kLogLimitMs = 30000;

struct RunResult {
    bool ok = false;
    double idleCpuPerSecond = 0;
    double recordingCpuPerSecond = 0;
    unsigned long droppedPictures = 0;
    unsigned long droppedAudio = 0;
    size_t recordedPictures = 0;
    double recordedSeconds = 0;
};

// zucamd's processor seconds per wall second over the next `seconds`.
bool CpuPerSecond(long pid, int seconds, double* out) {
    platform::ProcessUsage before;
    platform::ProcessUsage after;
    const auto start = Clock::now();
    if (!platform::ReadProcessUsage(pid, &before))
        return false;
    std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
    if (!platform::ReadProcessUsage(pid, &after))
        return false;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    *out = (after.cpuSeconds - before.cpuSeconds) / wall;
    return true;
}

// "recording dropped %lu pictures and %lu audio blocks ..." (absent: none).
void ReadDrops(const std::string& log, RunResult* result) {
    const std::string key = "recording dropped ";
    size_t at = log.rfind(key);
    if (at == std::string::npos)
        return;
    std::sscanf(log.c_str() + at + key.size(), "%lu pictures and %lu audio blocks",
                &result->droppedPictures, &result->droppedAudio);
}

bool Fail(const char* what, const zutest::TempDir& dir) {
    std::fprintf(stderr, "run failed: %s\n--- zucamd ---\n%s\n--- phone ---\n%s\n", what,
                 e2e::ReadText(dir.file("zucamd.err")).c_str(),
                 e2e::ReadText(dir.file("phone.err")).c_str());
    return false;
}

void ReadRecording(const zutest::TempDir& dir, RunResult* result) {
    std::vector<std::string> files = e2e::FilesStartingWith(dir.path(), "ZuCam_recoder[");
    e2e::ProbedFile probed;
    std::string error;
    if (files.size() != 1 || !e2e::ProbeFile(files[0], &probed, &error))
        return;
    if (const e2e::ProbedStream* video = probed.Stream("video")) {
        std::vector<e2e::ProbedPacket> packets = probed.PacketsOf(*video);
        result->recordedPictures = packets.size();
        result->recordedSeconds = e2e::SpanSeconds(*video, packets);
    }
}

bool Run(int seconds, RunResult* result) {
    zutest::TempDir dir;
    platform::ChildProcess zucamd;
    if (!e2e::StartZucamd(&zucamd, dir))
        return Fail("zucamd did not start", dir);
    // Idle window, then recording from its start command to its stop.
    const int recordAt = kWarmUpSeconds + seconds + 1;
    const int stopAt = recordAt + seconds + 2;
    platform::ChildProcess phone;
    if (!e2e::Start(
            &phone, dir, "phone",
            {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern", "1920x1080@30", "--tone",
             "1000", "--rate", "44100", "--channels", "2", "--duration", std::to_string(stopAt + 1),
             "--command", "record-start@" + std::to_string(recordAt), "--command",
             "record-stop@" + std::to_string(stopAt)})) {
        return Fail("the phone simulator did not start", dir);
    }
    const std::string log = dir.file("zucamd.err");
    if (!e2e::WaitForText(log, "first picture", kLogLimitMs))
        return Fail("no picture", dir);
    std::this_thread::sleep_for(std::chrono::seconds(kWarmUpSeconds));
    if (!CpuPerSecond(zucamd.pid(), seconds, &result->idleCpuPerSecond))
        return Fail("zucamd went away", dir);
    if (!e2e::WaitForText(log, "recording to", kLogLimitMs))
        return Fail("the recording did not start", dir);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!CpuPerSecond(zucamd.pid(), seconds, &result->recordingCpuPerSecond))
        return Fail("zucamd went away", dir);
    if (!e2e::WaitForText(log, "recording finished", kLogLimitMs))
        return Fail("the recording did not finish", dir);
    phone.wait(kLogLimitMs);
    zucamd.stop(20000);
    ReadDrops(e2e::ReadText(log), result);
    ReadRecording(dir, result);
    result->ok = true;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // zucamd announces itself: the benchmark runs where nothing leaves the machine.
    zutest::EnterPrivateNetwork(argc, argv);
    platform::IgnoreBrokenPipe();
    zutest::IsolateMachineWideNames();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    if (seconds < 2 || runs < 1) {
        std::fprintf(stderr, "usage: record_cpu_bench [SECONDS >= 2] [RUNS >= 1]\n");
        return 2;
    }
    std::printf("zucamd serving 1080p30 + 44.1 kHz stereo, %d s windows, %u CPUs\n", seconds,
                std::thread::hardware_concurrency());
    std::printf("%4s %12s %12s %12s %9s %9s %10s %9s\n", "run", "idle ms/s", "rec ms/s",
                "extra ms/s", "drop pic", "drop aud", "file pics", "file s");
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        RunResult r;
        if (!Run(seconds, &r)) {
            ++failures;
            continue;
        }
        std::printf("%4d %12.1f %12.1f %12.1f %9lu %9lu %10zu %9.2f\n", run,
                    r.idleCpuPerSecond * 1000, r.recordingCpuPerSecond * 1000,
                    (r.recordingCpuPerSecond - r.idleCpuPerSecond) * 1000, r.droppedPictures,
                    r.droppedAudio, r.recordedPictures, r.recordedSeconds);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
