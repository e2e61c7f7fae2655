#pragma once

#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>

#include <string>
#include <vector>

#include "tests/dep/ffmpeg/h264-test-stream.h"

// Pieces of the H.264 decoder benchmarks that other benchmarks of the picture
// road (server, camera queue) reuse: the reference streams, the ffmpeg
// command's own speed on them, a real-time feeder and percentiles.
namespace zubench {

// 1080p30 High profile at a phone's bit rate, one IDR picture at the start
// only, so a burst of pushes is never cut short by the group-of-pictures rule.
zutest::H264StreamRecipe ThroughputRecipe(int frames = 300);
// 1080p30 High profile as a phone encodes for live use: no B-frames (nothing
// waits for reordering), an IDR picture every second.
zutest::H264StreamRecipe LiveRecipe(int frames = 300);

// Encodes (or finds) the stream and splits it; aborts the benchmark program
// with a message when the ffmpeg command is missing.
std::vector<zutest::AccessUnit> LoadStream(const zutest::H264StreamRecipe& recipe);

struct CliDecodeResult {
    bool ok = false;
    double seconds = 0;     // ffmpeg's own "rtime": decoding, without start-up
    double cpuSeconds = 0;  // its "utime" + "stime"
    int frames = 0;
};
// `ffmpeg -threads 1 -i <file> -f null -`, best of `runs`.
CliDecodeResult DecodeWithFfmpegCli(const std::string& path, int runs = 3);

// Our decoding against `ffmpeg -threads 1` on the same file, run by run in
// the same benchmark: keeps the best wall-clock and CPU time of each side.
class FfmpegComparison {
public:
    // One of our runs: `pictures` delivered in `seconds` and `cpuSeconds`.
    void addOurs(double seconds, double cpuSeconds);
    // One ffmpeg run on `path`; false when the command did not run.
    bool addFfmpeg(const std::string& path);
    // Sets fps, ffmpeg_fps, ratio_to_ffmpeg and cpu_ratio_to_ffmpeg (frames
    // per CPU second, ours over ffmpeg's: what a busy machine hides in the
    // wall-clock figures).
    void report(benchmark::State& state, double pictures) const;

private:
    double best_ = 0;
    double bestCpu_ = 0;
    double bestCli_ = 0;
    double bestCliCpu_ = 0;
    int cliFrames_ = 0;
};

// The time of each avcodec_send_packet + avcodec_receive_frame pair, in
// microseconds, decoding the units with H264Decoder's settings on the calling
// thread (empty when the decoder cannot be opened). With fps above 0 the
// packets are paced like a live stream, so the figures are taken under the
// same scheduling as a paced decoder thread gets (a thread that sleeps between
// pictures is served sooner than one decoding back to back on a busy machine).
std::vector<double> DecodeTimesMicros(const std::vector<zutest::AccessUnit>& units, double fps = 0);

double Mean(const std::vector<double>& values);

using Clock = std::chrono::steady_clock;
// Calls push(i) for every unit at `fps`, on schedule (not drifting with the
// time push takes). Returns the moment each push began.
std::vector<Clock::time_point> FeedRealTime(size_t count, double fps,
                                            const std::function<void(size_t)>& push);

// The p-th percentile (0..100) of the values, nearest rank; 0 when empty.
double Percentile(std::vector<double> values, double p);

}  // namespace zubench
