// The phone page against the real zucamd over loopback: headless Chromium
// with its fake camera (1280x720, 30 pictures a second) streams through the
// page, and the camera queue is watched. A measured program, not a Google
// Benchmark: each figure needs a browser and a whole server process.
//
//   zucamd_web_bench [SECONDS]   (default 20)
//     Latency: from the page handing a picture to its WebSocket to that
//     picture's publication in the camera queue; p50, p99 and max over the
//     pictures after the first second (aim: p99 <= 15 ms).
//     Processor: zucamd's processor time per second while the browser
//     streams, against the same while zucam-phone-sim sends 1280x720 at
//     30 pictures a second and the page's bit rate (aim: ratio <= 1.2).
//
// Run as root: it re-runs itself in a private network namespace (loopback
// only) with a private /dev/shm:
//   ZUCAM_BIN_DIR=build/<dir>/bin build/<dir>/bin/zucamd_web_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/zucamd/zucamd-bench-support.h"
#include "bench/zucamd/zucamd-process.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-usage.h"

namespace {

using zubench::Clock;

constexpr int kPort = 10080;
constexpr int kWarmPictures = 30;
constexpr int kBitrateKbps = 3000;  // the page's bit rate at 720p

int Fail(const std::string& what) {
    std::fprintf(stderr, "zucamd_web_bench: %s\n", what.c_str());
    return 1;
}

std::string ReadText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

std::string LinkSecret(const std::string& terminal) {
    const size_t at = terminal.find("/?k=");
    if (at == std::string::npos)
        return {};
    const size_t end = terminal.find_first_of("\n& ", at);
    return terminal.substr(at + 4, end - at - 4);
}

// "zucam-sent N MS" console lines: when picture N left the page, in
// milliseconds of the wall clock.
std::vector<std::pair<int, double>> SentTimes(const std::string& log) {
    std::vector<std::pair<int, double>> sent;
    const std::string key = "zucam-sent ";
    for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
        char* end = nullptr;
        const long n = std::strtol(log.c_str() + at + key.size(), &end, 10);
        const double ms = std::strtod(end, nullptr);
        if (n > 0 && ms > 0)
            sent.emplace_back(static_cast<int>(n), ms);
    }
    return sent;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
    return values[i];
}

// zucamd's processor seconds per wall second over `seconds`.
double CpuLoad(long pid, int seconds) {
    platform::ProcessUsage before, after;
    if (!platform::ReadProcessUsage(pid, &before))
        return -1;
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    if (!platform::ReadProcessUsage(pid, &after))
        return -1;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return (after.cpuSeconds - before.cpuSeconds) / wall;
}

bool StartBrowser(platform::ChildProcess* browser, const zubench::Workspace& ws,
                  const std::string& url) {
    platform::ChildProcess::Options o;
    o.argv = {"/usr/bin/chromium",
              "--headless",
              "--no-sandbox",
              "--disable-gpu",
              "--disable-background-networking",
              "--disable-component-update",
              "--disable-sync",
              "--no-first-run",
              "--disable-crash-reporter",
              "--use-fake-device-for-media-stream",
              "--use-fake-ui-for-media-stream",
              "--ignore-certificate-errors",
              "--autoplay-policy=no-user-gesture-required",
              "--enable-logging=stderr",
              "--v=0",
              "--remote-debugging-port=0",
              "--user-data-dir=" + ws.file("profile"),
              url};
    o.env = {{"HOME", ws.file("home")}};
    o.stdoutPath = ws.file("chromium.out");
    o.stderrPath = ws.file("chromium.err");
    return browser->start(o);
}

}  // namespace

int main(int argc, char** argv) {
    zubench::EnterSandbox(argc, argv);
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    zubench::Workspace ws;
    zubench::Zucamd zucamd(ws);
    std::string error;
    if (!zucamd.Start(kPort, &error))
        return Fail(error);
    if (!zubench::WaitForText(ws.file("zucamd.out"), "phone's browser: ", 15000))
        return Fail("zucamd shows no link for the phone page");
    const std::string secret = LinkSecret(ReadText(ws.file("zucamd.out")));
    zubench::QueueWatch watch;
    if (!watch.Start(100, 10000, &error))
        return Fail(error);
    const uint32_t base = watch.published();
    // The page's times are the wall clock's; the queue's the steady clock's.
    const auto wallNow = std::chrono::system_clock::now();
    const auto steadyNow = Clock::now();

    platform::ChildProcess browser;
    if (!StartBrowser(&browser, ws,
                      "https://127.0.0.1:10090/?k=" + secret + "&autostart=1&trace=1"))
        return Fail("chromium cannot be started");
    if (!watch.WaitFor(base + kWarmPictures, 60000))
        return Fail("no pictures from the browser:\n" + ReadText(ws.file("zucamd.out")));
    const double webLoad = CpuLoad(zucamd.pid(), seconds);
    browser.stop(10000);
    const long long discarded = zucamd.DiscardedPackets();

    std::vector<double> latencies;
    for (const auto& [n, ms] : SentTimes(ReadText(ws.file("chromium.err")))) {
        Clock::time_point published;
        if (n <= kWarmPictures || !watch.ReachedAt(base + static_cast<uint32_t>(n), &published))
            continue;
        const auto sentWall = std::chrono::system_clock::time_point(
            std::chrono::microseconds(static_cast<long long>(ms * 1000.0)));
        const auto sentSteady =
            steadyNow + std::chrono::duration_cast<Clock::duration>(sentWall - wallNow);
        latencies.push_back(
            std::chrono::duration<double, std::milli>(published - sentSteady).count());
    }
    if (latencies.empty())
        return Fail("the page traced no pictures");
    if (const char* dump = std::getenv("ZUCAM_BENCH_DUMP")) {
        std::string text;
        for (double l : latencies)
            text += std::to_string(l) + "\n";
        platform::WriteWholeFile(dump, text);
    }

    // The app's road for the same picture size, rate and bit rate.
    zubench::WaitForText(ws.file("zucamd.out"), "phone gone", 15000);
    platform::ChildProcess phone;
    platform::ChildProcess::Options po;
    po.argv = {platform::ExecutableDir() + "/zucam-phone-sim",
               "--port",
               std::to_string(kPort),
               "--pattern",
               "1280x720@30",
               "--bitrate",
               std::to_string(kBitrateKbps),
               "--duration",
               std::to_string(seconds + 10)};
    po.stdoutPath = ws.file("phone.out");
    po.stderrPath = ws.file("phone.err");
    if (!phone.start(po))
        return Fail("zucam-phone-sim cannot be started");
    const uint32_t before = watch.published();
    if (!watch.WaitFor(before + kWarmPictures, 60000))
        return Fail("no pictures from zucam-phone-sim:\n" + ReadText(ws.file("phone.err")));
    const double appLoad = CpuLoad(zucamd.pid(), seconds);
    phone.stop(10000);

    std::printf("browser pictures traced: %zu (after %d warm-up), decoder discarded %lld\n",
                latencies.size(), kWarmPictures, discarded);
    if (discarded > 0) {
        std::printf(
            "the decoder discarded pictures: pictures are paired by their order, so "
            "the latencies after the first discard are off; run again\n");
    }
    std::printf(
        "page -> camera queue latency: p50 %.2f ms, p99 %.2f ms, max %.2f ms "
        "(aim: p99 <= 15 ms)\n",
        Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        *std::max_element(latencies.begin(), latencies.end()));
    std::printf("zucamd processor: browser %.1f %%, app %.1f %%, ratio %.2f (aim: <= 1.2)\n",
                webLoad * 100, appLoad * 100, appLoad > 0 ? webLoad / appLoad : 0.0);
    return 0;
}
