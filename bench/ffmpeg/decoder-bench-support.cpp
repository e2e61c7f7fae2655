#include "bench/ffmpeg/decoder-bench-support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/child-process.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zubench {

namespace {

double ParseAfter(const std::string& text, const std::string& key) {
    size_t at = text.rfind(key);
    if (at == std::string::npos)
        return -1;
    return std::atof(text.c_str() + at + key.size());
}

}  // namespace

zutest::H264StreamRecipe ThroughputRecipe(int frames) {
    zutest::H264StreamRecipe s;
    s.width = 1920;
    s.height = 1080;
    s.frames = frames;
    s.fps = 30;
    s.gop = frames;
    s.profile = "high";
    s.preset = "veryfast";
    s.bitrateKbps = 8000;
    return s;
}

zutest::H264StreamRecipe LiveRecipe(int frames) {
    zutest::H264StreamRecipe s = ThroughputRecipe(frames);
    s.gop = 30;
    s.bFrames = 0;
    return s;
}

std::vector<zutest::AccessUnit> LoadStream(const zutest::H264StreamRecipe& recipe) {
    std::string error;
    std::vector<zutest::AccessUnit> units = zutest::MakeAccessUnits(recipe, &error, 600000);
    if (units.empty()) {
        std::fprintf(stderr, "cannot make the benchmark stream: %s\n", error.c_str());
        std::exit(2);
    }
    return units;
}

CliDecodeResult DecodeWithFfmpegCli(const std::string& path, int runs) {
    CliDecodeResult best;
    for (int i = 0; i < runs; ++i) {
        std::string out;
        std::string err;
        int rc = platform::RunProcess({"ffmpeg", "-hide_banner", "-nostdin", "-benchmark",
                                       "-threads", "1", "-i", path, "-f", "null", "-"},
                                      120000, &out, &err);
        double seconds = ParseAfter(err, "rtime=");
        double frames = ParseAfter(err, "frame=");
        if (rc != 0 || seconds <= 0)
            continue;
        if (!best.ok || seconds < best.seconds) {
            best.ok = true;
            best.seconds = seconds;
            best.cpuSeconds = ParseAfter(err, "utime=") + ParseAfter(err, "stime=");
            best.frames = static_cast<int>(frames);
        }
    }
    return best;
}

std::vector<double> DecodeTimesMicros(const std::vector<zutest::AccessUnit>& units, double fps) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    c->thread_count = 1;
    c->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return {};
    }
    AVFrame* frame = av_frame_alloc();
    std::vector<double> times;
    auto decodeOne = [&](size_t i) {
        PacketHolder packet = zutest::ToPacket(units[i], static_cast<long long>(i));
        auto t0 = Clock::now();
        if (avcodec_send_packet(c, packet.get()) == 0 && avcodec_receive_frame(c, frame) == 0) {
            av_frame_unref(frame);
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    };
    if (fps > 0) {
        FeedRealTime(units.size(), fps, decodeOne);
    } else {
        for (size_t i = 0; i < units.size(); ++i)
            decodeOne(i);
    }
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return times;
}

double Mean(const std::vector<double>& values) {
    double total = 0;
    for (double v : values)
        total += v;
    return values.empty() ? 0 : total / static_cast<double>(values.size());
}

std::vector<Clock::time_point> FeedRealTime(size_t count, double fps,
                                            const std::function<void(size_t)>& push) {
    std::vector<Clock::time_point> pushed(count);
    auto start = Clock::now();
    auto period = std::chrono::duration<double>(1.0 / fps);
    for (size_t i = 0; i < count; ++i) {
        auto due = start + std::chrono::duration_cast<Clock::duration>(period * double(i));
        std::this_thread::sleep_until(due);
        pushed[i] = Clock::now();
        push(i);
    }
    return pushed;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

namespace {

double KeepBest(double best, double value) {
    return best == 0 ? value : std::min(best, value);
}

}  // namespace

void FfmpegComparison::addOurs(double seconds, double cpuSeconds) {
    best_ = KeepBest(best_, seconds);
    bestCpu_ = KeepBest(bestCpu_, cpuSeconds);
}

bool FfmpegComparison::addFfmpeg(const std::string& path) {
    CliDecodeResult cli = DecodeWithFfmpegCli(path, 1);
    if (!cli.ok)
        return false;
    bestCli_ = KeepBest(bestCli_, cli.seconds);
    bestCliCpu_ = KeepBest(bestCliCpu_, cli.cpuSeconds);
    cliFrames_ = cli.frames;
    return true;
}

void FfmpegComparison::report(benchmark::State& state, double pictures) const {
    if (best_ <= 0 || bestCli_ <= 0 || bestCpu_ <= 0 || bestCliCpu_ <= 0)
        return;
    double fps = pictures / best_;
    double cliFps = cliFrames_ / bestCli_;
    state.counters["fps"] = fps;
    state.counters["ffmpeg_fps"] = cliFps;
    state.counters["ratio_to_ffmpeg"] = fps / cliFps;
    state.counters["cpu_ratio_to_ffmpeg"] = (pictures / bestCpu_) / (cliFrames_ / bestCliCpu_);
}

}  // namespace zubench
