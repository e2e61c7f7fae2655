// The phone page's sound: Chromium's fake microphone plays a 1 kHz tone, the
// page sends it as 16-bit PCM, and zucamd --vmic hands it to the virtual
// microphone "ZuAudioDevice" of a real PulseAudio server, where a recording
// program hears the tone.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devices/audio-driver-installer.h"
#include "platform/child-process.h"
#include "platform/file-lock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/devices/audio-test-support.h"
#include "tests/devices/pulse-test-server.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/browser-phone.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kRate = 48000;
constexpr int kToneHz = 1000;
constexpr int kToneAmplitude = 16000;
constexpr int kToolLimitMs = 10000;
constexpr int kWaitMs = 60000;

const e2e::Env kZucamdEnv = {
    {"LSAN_OPTIONS", "suppressions=" ZUCAM_SOURCE_DIR "/tests/devices/lsan-pulse.supp"}};

void PutLe(std::string* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A mono 16-bit WAV file of the tone, which Chromium's fake microphone loops.
std::string ToneWav(int seconds) {
    zutest::ToneGenerator tone(kToneHz, kRate, 1, kToneAmplitude);
    const std::vector<int16_t> samples = tone.next(kRate * seconds);
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string wav = "RIFF";
    PutLe(&wav, 36 + dataBytes, 4);
    wav += "WAVEfmt ";
    PutLe(&wav, 16, 4);
    PutLe(&wav, 1, 2);  // PCM
    PutLe(&wav, 1, 2);  // mono
    PutLe(&wav, kRate, 4);
    PutLe(&wav, kRate * 2, 4);
    PutLe(&wav, 2, 2);
    PutLe(&wav, 16, 2);
    wav += "data";
    PutLe(&wav, dataBytes, 4);
    wav.append(reinterpret_cast<const char*>(samples.data()), dataBytes);
    return wav;
}

int RecordersOfZuAudioDevice() {
    std::string source;
    int n = 0;
    std::istringstream sources(zutest::Pactl("list short sources"));
    for (std::string index, name, rest; sources >> index >> name && std::getline(sources, rest);) {
        if (name == "ZuAudioDevice")
            source = index;
    }
    std::istringstream outputs(zutest::Pactl("list short source-outputs"));
    for (std::string index, from, rest; outputs >> index >> from && std::getline(outputs, rest);)
        n += !source.empty() && from == source;
    return n;
}

std::vector<int16_t> ReadPcm(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(path, &bytes);
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class ZucamdWebAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!e2e::BrowserInstalled())
            GTEST_SKIP() << "needs Debian's chromium (scripts/install-deps.sh test)";
        if (!zutest::PulseServerReachable())
            GTEST_SKIP() << zutest::PulseServerMissingText();
        ASSERT_TRUE(lock_.acquire("/tmp/zucam-audio-source.lock", 120000));
        savedRuntime_ = platform::GetEnv("XDG_RUNTIME_DIR");
        platform::MakeDirs(dir_.file("runtime"), 0700);
        platform::SetEnv("XDG_RUNTIME_DIR", dir_.file("runtime"));
        removeAudioDriver(kToolLimitMs);
        ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_, {"--vmic", "--no-camera-output"}, kZucamdEnv))
            << Log();
        ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "virtual microphone open", kWaitMs))
            << Log();
    }
    void TearDown() override {
        if (browser_.running())
            browser_.stop(10000);
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
        if (!lock_.held())
            return;
        removeAudioDriver(kToolLimitMs);
        platform::SetEnv("XDG_RUNTIME_DIR", savedRuntime_);
    }
    std::string Log() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }

    zutest::TempDir dir_;
    platform::FileLock lock_;
    std::string savedRuntime_;
    platform::ChildProcess zucamd_;
    platform::ChildProcess browser_;
};

TEST_F(ZucamdWebAudioTest, PageToneReachesARecorderOfTheVirtualMicrophone) {
    ASSERT_TRUE(e2e::WaitForText(dir_.file("zucamd.out"), "phone's browser: ", kWaitMs));
    const std::string secret = e2e::LinkSecret(e2e::ReadText(dir_.file("zucamd.out")));
    ASSERT_GT(platform::WriteWholeFile(dir_.file("tone.wav"), ToneWav(4)), 0);

    const std::string recording = dir_.file("mic.raw");
    platform::ChildProcess recorder;
    platform::ChildProcess::Options options;
    options.argv = {
        "timeout", "120",           "parecord",     "--raw",        "--latency-msec=100",
        "-d",      "ZuAudioDevice", "--rate=48000", "--channels=1", "--format=s16le",
        recording};
    options.stderrPath = dir_.file("parecord.err");
    ASSERT_TRUE(recorder.start(options));
    const auto recorderDeadline = Clock::now() + milliseconds(kWaitMs);
    while (RecordersOfZuAudioDevice() == 0 && Clock::now() < recorderDeadline)
        std::this_thread::sleep_for(milliseconds(50));
    ASSERT_GT(RecordersOfZuAudioDevice(), 0) << e2e::ReadText(dir_.file("parecord.err"));

    ASSERT_TRUE(e2e::StartBrowser(&browser_, dir_, "browser",
                                  "https://127.0.0.1:10090/?k=" + secret + "&autostart=1",
                                  {"--use-file-for-fake-audio-capture=" + dir_.file("tone.wav")}));
    // Waits until a second and a half of sound follows the first loud sample.
    std::vector<int16_t> samples;
    size_t onset = static_cast<size_t>(-1);
    const auto deadline = Clock::now() + milliseconds(kWaitMs);
    while (Clock::now() < deadline) {
        samples = ReadPcm(recording);
        onset = zutest::FirstLoudSample(samples, kToneAmplitude / 4);
        if (onset != static_cast<size_t>(-1) && samples.size() >= onset + kRate * 3 / 2)
            break;
        std::this_thread::sleep_for(milliseconds(100));
    }
    recorder.interrupt();
    recorder.wait(5000);
    ASSERT_NE(onset, static_cast<size_t>(-1)) << samples.size() << " samples, all quiet\n"
                                              << e2e::ReadText(dir_.file("zucamd.out")) << Log();
    ASSERT_GE(samples.size(), onset + kRate * 3 / 2);
    const size_t begin = onset + kRate / 4;
    zutest::ToneMeasure tone = zutest::MeasureTone(samples, begin, begin + kRate, kRate);
    EXPECT_NEAR(tone.frequency, kToneHz, 5.0);
    // The page sends the microphone as it is: no gain control, no filters.
    EXPECT_NEAR(tone.peak, kToneAmplitude, kToneAmplitude * 0.1);
}

}  // namespace
