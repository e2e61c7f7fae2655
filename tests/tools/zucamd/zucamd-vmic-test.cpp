// zucamd --vmic: the phone's sound becomes the virtual microphone
// "ZuAudioDevice" of a real PulseAudio server, which any recording program can
// open; and with nobody recording from it, nothing on the picture road waits.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devices/audio-driver-installer.h"
#include "platform/child-process.h"
#include "platform/fifo.h"
#include "platform/file-lock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/devices/audio-test-support.h"
#include "tests/devices/pulse-test-server.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMicRate = 48000;
constexpr int kToneHz = 1000;
constexpr int kToneSeconds = 8;
// phone-sim's default --tone-level is -6 dBFS.
const double kTonePeak = 32767.0 * std::pow(10.0, -6.0 / 20.0);
constexpr int kToolLimitMs = 10000;
constexpr int kPhoneLimitMs = 60000;

// zucamd links RtAudio, which leaves some of libpulse's memory behind at
// exit; a sanitizer build of zucamd reads these suppressions (others ignore
// the variable).
const e2e::Env kZucamdEnv = {
    {"LSAN_OPTIONS", "suppressions=" ZUCAM_SOURCE_DIR "/tests/devices/lsan-pulse.supp"}};

// The first two fields of every line of a "pactl list short ..." listing.
std::vector<std::pair<std::string, std::string>> ShortList(const std::string& what) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::istringstream in(zutest::Pactl("list short " + what));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string first, second;
        if (fields >> first >> second)
            rows.emplace_back(first, second);
    }
    return rows;
}

// Programs recording from "ZuAudioDevice" (other sources do not count).
int RecordersOfZuAudioDevice() {
    std::string source;
    for (const auto& row : ShortList("sources")) {
        if (row.second == "ZuAudioDevice")
            source = row.first;
    }
    int n = 0;
    for (const auto& row : ShortList("source-outputs"))
        n += !source.empty() && row.second == source;
    return n;
}

bool WaitForRecorder(int timeoutMs) {
    auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (RecordersOfZuAudioDevice() > 0)
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
}

// Returns once `path` has not grown for quietMs, or after limitMs.
void WaitUntilSizeSettles(const std::string& path, int quietMs, int limitMs) {
    const auto deadline = Clock::now() + milliseconds(limitMs);
    long long size = platform::FileSize(path);
    auto changed = Clock::now();
    while (Clock::now() < deadline && Clock::now() - changed < milliseconds(quietMs)) {
        std::this_thread::sleep_for(milliseconds(50));
        long long now = platform::FileSize(path);
        if (now != size) {
            size = now;
            changed = Clock::now();
        }
    }
}

std::vector<int16_t> ReadPcm(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(path, &bytes);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The tone as heard: from its first to its last loud sample, and the longest
// stretch in between without one (a 1 kHz tone peaks every millisecond).
struct Heard {
    size_t first = 0;
    size_t samples = 0;
    size_t longestQuiet = 0;
};

Heard Listen(const std::vector<int16_t>& samples, int threshold) {
    Heard heard;
    heard.first = zutest::FirstLoudSample(samples, threshold);
    if (heard.first == static_cast<size_t>(-1))
        return heard;
    size_t last = heard.first;
    for (size_t i = heard.first + 1; i < samples.size(); ++i) {
        if (std::abs(static_cast<int>(samples[i])) >= threshold) {
            heard.longestQuiet = std::max(heard.longestQuiet, i - last - 1);
            last = i;
        }
    }
    heard.samples = last - heard.first + 1;
    return heard;
}

// The seconds phone-sim reports for its whole run ("... in 5.01 s").
double PhoneRunSeconds(const std::string& phoneOutput) {
    size_t at = phoneOutput.rfind(" s\n");
    size_t in = phoneOutput.rfind(" in ", at);
    if (at == std::string::npos || in == std::string::npos)
        return -1;
    return std::atof(phoneOutput.substr(in + 4, at - in - 4).c_str());
}

class ZucamdVirtualMicTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zutest::PulseServerReachable())
            GTEST_SKIP() << zutest::PulseServerMissingText();
        // "ZuAudioDevice" is one name per sound server: every test program
        // and benchmark of every checkout that loads it takes this lock.
        ASSERT_TRUE(lock_.acquire("/tmp/zucam-audio-source.lock", 120000));
        // The installer's FIFO path follows XDG_RUNTIME_DIR: pointed at
        // zucamd's, removing the source here never touches the FIFO of a
        // ZuCam the user runs, and does remove the one zucamd leaves behind.
        savedRuntime_ = platform::GetEnv("XDG_RUNTIME_DIR");
        platform::MakeDirs(dir_.file("runtime"), 0700);
        platform::SetEnv("XDG_RUNTIME_DIR", dir_.file("runtime"));
        // A source left by a crashed run would read another FIFO than the
        // one zucamd opens.
        removeAudioDriver(kToolLimitMs);
        ASSERT_FALSE(findAudioDriver(kToolLimitMs));
        ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_, {"--vmic"}, kZucamdEnv)) << ZucamdLog();
        ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "virtual microphone open", 20000))
            << ZucamdLog();
    }

    void TearDown() override {
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << ZucamdLog();
        }
        if (!lock_.held())
            return;
        removeAudioDriver(kToolLimitMs);
        platform::SetEnv("XDG_RUNTIME_DIR", savedRuntime_);
    }

    std::string ZucamdLog() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }

    // Streams a 44.1 kHz stereo tone beside a small picture for kToneSeconds.
    bool StartPhone(platform::ChildProcess* phone) {
        return e2e::Start(phone, dir_, "phone",
                          {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern",
                           "320x240@30", "--tone", std::to_string(kToneHz), "--rate", "44100",
                           "--channels", "2", "--duration", std::to_string(kToneSeconds)});
    }

    zutest::TempDir dir_;
    platform::FileLock lock_;
    std::string savedRuntime_;
    platform::ChildProcess zucamd_;
};

TEST_F(ZucamdVirtualMicTest, PhoneToneReachesARecorderOfZuAudioDevice) {
    const std::string recording = dir_.file("mic.raw");
    platform::ChildProcess recorder;
    platform::ChildProcess::Options options;
    options.argv = {"timeout",
                    "40",
                    "parecord",
                    "--raw",
                    "--latency-msec=100",
                    "-d",
                    "ZuAudioDevice",
                    "--rate=" + std::to_string(kMicRate),
                    "--channels=1",
                    "--format=s16le",
                    recording};
    options.stderrPath = dir_.file("parecord.err");
    ASSERT_TRUE(recorder.start(options));
    ASSERT_TRUE(WaitForRecorder(5000)) << e2e::ReadText(dir_.file("parecord.err"));

    platform::ChildProcess phone;
    ASSERT_TRUE(StartPhone(&phone));
    ASSERT_EQ(phone.wait(kPhoneLimitMs), 0) << e2e::ReadText(dir_.file("phone.err"));
    // parecord stopped early drops what it has not yet written out.
    WaitUntilSizeSettles(recording, 1000, 15000);
    recorder.interrupt();
    EXPECT_GE(recorder.wait(5000), 0);

    std::vector<int16_t> samples = ReadPcm(recording);
    const size_t onset = zutest::FirstLoudSample(samples, 4000);
    ASSERT_NE(onset, static_cast<size_t>(-1)) << samples.size() << " samples, all quiet\n"
                                              << ZucamdLog();
    // One steady second, after the start has settled.
    const size_t begin = onset + kMicRate / 10;
    ASSERT_GE(samples.size(), begin + kMicRate);
    zutest::ToneMeasure tone = zutest::MeasureTone(samples, begin, begin + kMicRate, kMicRate);
    EXPECT_NEAR(tone.frequency, kToneHz, 5.0);
    EXPECT_NEAR(tone.peak, kTonePeak, kTonePeak * 0.05);
    EXPECT_NEAR(tone.rms, kTonePeak / std::sqrt(2.0), kTonePeak * 0.05);
    // Once it flows, nothing is lost to the end. The sound server takes its
    // time to start pulling a freshly opened stream (about 1.8 s with a
    // headless null sink), and only the newest 200 ms of what arrives before
    // that is kept: hence a phone that runs longer than that start.
    const Heard heard = Listen(samples, 4000);
    EXPECT_LT(heard.longestQuiet, static_cast<size_t>(kMicRate / 100)) << "a gap in the tone";
    EXPECT_GE(static_cast<double>(heard.samples) / kMicRate, kToneSeconds - 4.0);
    EXPECT_LE(static_cast<double>(heard.samples) / kMicRate, kToneSeconds + 0.1);
}

TEST_F(ZucamdVirtualMicTest, WithNobodyRecordingPicturesKeepFlowing) {
    ASSERT_EQ(RecordersOfZuAudioDevice(), 0) << "another program records ZuAudioDevice";
    platform::ChildProcess camera;
    ASSERT_TRUE(e2e::Start(
        &camera, dir_, "camera",
        {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--timeout", "4", "--stats"}));
    platform::ChildProcess phone;
    ASSERT_TRUE(StartPhone(&phone));
    ASSERT_EQ(phone.wait(kPhoneLimitMs), 0) << e2e::ReadText(dir_.file("phone.err"));
    // The phone streams at its own pace only when the desktop keeps reading.
    const double seconds = PhoneRunSeconds(e2e::ReadText(dir_.file("phone.out")));
    EXPECT_GT(seconds, 0) << e2e::ReadText(dir_.file("phone.out"));
    EXPECT_LT(seconds, kToneSeconds + 1.0);

    int cameraExit = camera.wait(30000);
    EXPECT_TRUE(cameraExit == 0 || cameraExit == 4) << e2e::ReadText(dir_.file("camera.err"));
    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    // 30 pictures a second for 5 s; the reader may miss one now and then.
    EXPECT_GE(pictures.size(), 100u) << e2e::ReadText(dir_.file("camera.err"));
    // zucamd still answers, and stops in order.
    EXPECT_EQ(zucamd_.stop(20000), 0) << ZucamdLog();
}

// A source zucamd loaded goes with it; one that was there before stays.
TEST_F(ZucamdVirtualMicTest, TheSourceGoesOnlyWithTheRunThatLoadedIt) {
    ASSERT_TRUE(findAudioDriver(kToolLimitMs));
    ASSERT_EQ(zucamd_.stop(20000), 0) << ZucamdLog();
    EXPECT_FALSE(findAudioDriver(kToolLimitMs)) << "the source zucamd loaded outlived it";

    ASSERT_TRUE(installAudioDriver(kToolLimitMs));
    platform::ChildProcess second;
    e2e::StartZucamd(&second, dir_, {"--vmic"}, kZucamdEnv);
    // Both runs log to the same file: the second one's own line.
    const auto deadline = Clock::now() + milliseconds(20000);
    while (Clock::now() < deadline && e2e::CountOf(ZucamdLog(), "virtual microphone open") < 2)
        std::this_thread::sleep_for(milliseconds(50));
    ASSERT_EQ(e2e::CountOf(ZucamdLog(), "virtual microphone open"), 2) << ZucamdLog();
    ASSERT_EQ(second.stop(20000), 0) << ZucamdLog();
    EXPECT_TRUE(findAudioDriver(kToolLimitMs)) << "zucamd removed a source it did not load";
}

}  // namespace

namespace {

std::string QueuePath() {
    return "/dev/shm" + platform::GetEnv("ZUCAM_CAMERA_QUEUE");
}

// A closed terminal ends zucamd the orderly way: code 0, and the queue, the
// microphone FIFO and the source it loaded all gone.
TEST_F(ZucamdVirtualMicTest, SighupCleansUpLikeSigterm) {
    ASSERT_TRUE(findAudioDriver(kToolLimitMs));
    const std::string fifo = dir_.file("runtime/zucam/ZuAudioDeviceLink");
    ASSERT_EQ(platform::GetFifoPathState(fifo), platform::FifoPathState::kFifo);
    ASSERT_TRUE(platform::FileExists(QueuePath()));
    ASSERT_EQ(::kill(static_cast<pid_t>(zucamd_.pid()), SIGHUP), 0);
    EXPECT_EQ(zucamd_.wait(20000), 0) << ZucamdLog();
    EXPECT_FALSE(findAudioDriver(kToolLimitMs)) << "the source outlived zucamd";
    EXPECT_EQ(platform::GetFifoPathState(fifo), platform::FifoPathState::kMissing);
    EXPECT_FALSE(platform::FileExists(QueuePath()));
}

// A run killed outright cannot unload its source; the next run knows the
// source for one of its own and takes it along at its exit.
TEST_F(ZucamdVirtualMicTest, TheSourceOfAKilledRunGoesWithTheNextRun) {
    ASSERT_TRUE(zucamd_.signal(true));
    zucamd_.wait(20000);
    ASSERT_TRUE(findAudioDriver(kToolLimitMs)) << "nothing left behind to recover";
    platform::ChildProcess second;
    ASSERT_TRUE(e2e::StartZucamd(&second, dir_, {"--vmic"}, kZucamdEnv)) << ZucamdLog();
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "left by a killed run", 20000))
        << ZucamdLog();
    ASSERT_EQ(second.stop(20000), 0) << ZucamdLog();
    EXPECT_FALSE(findAudioDriver(kToolLimitMs)) << "the killed run's source outlived the next";
}

}  // namespace
