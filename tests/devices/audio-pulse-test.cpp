// The virtual microphone against a real PulseAudio server: the installers
// load and unload the pipe source, and audio pushed into the manager comes
// out of "ZuAudioDevice" for any recording program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "devices/audio-device-link.h"
#include "devices/audio-driver-installer.h"
#include "devices/virtaul-audio-device-manager.h"
#include "platform/child-process.h"
#include "platform/fifo.h"
#include "platform/file-lock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/devices/audio-test-support.h"
#include "tests/devices/pulse-test-server.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

// Read by LeakSanitizer at start-up in the sanitizer build; ignored otherwise.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_LSAN_PULSE_SUPPRESSIONS;
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kToolLimitMs = 10000;

int CountSourcesNamed(const std::string& name) {
    std::istringstream in(zutest::Pactl("list short sources"));
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string index, source;
        fields >> index >> source;
        n += source == name;
    }
    return n;
}

bool WaitForRecorder(int timeoutMs) {
    auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (!zutest::Pactl("list short source-outputs").empty())
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
}

// Pushes a phone's 44.1 kHz stereo tone in 10 ms packets at the pace it
// would arrive; returns the longest time one pushAudio call took.
Clock::duration PushTone(VirtaulAudioDeviceManager& manager, int amplitude, milliseconds length) {
    zutest::ToneGenerator tone(1000, 44100, 2, amplitude);
    Clock::duration slowest{};
    const auto start = Clock::now();
    for (int packet = 0; packet < length.count() / 10; ++packet) {
        auto pcm = tone.next(441);
        const auto before = Clock::now();
        manager.pushAudio(pcm.data(), 441, 44100, 2);
        slowest = std::max(slowest, Clock::now() - before);
        std::this_thread::sleep_until(start + milliseconds(10 * (packet + 1)));
    }
    return slowest;
}

class PulseAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zutest::PulseServerReachable())
            GTEST_SKIP() << zutest::PulseServerMissingText();
        // "ZuAudioDevice" is one name per server: runs of this program, the
        // benchmark and other checkouts' tests must take turns.
        ASSERT_TRUE(lock_.acquire("/tmp/zucam-audio-source.lock", 60000));
        savedRuntime_ = platform::GetEnv("XDG_RUNTIME_DIR");
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        removeAudioDriver(kToolLimitMs);  // a crashed earlier run may have left one
        ASSERT_FALSE(findAudioDriver(kToolLimitMs));
    }

    void TearDown() override {
        if (!lock_.held())
            return;
        removeAudioDriver(kToolLimitMs);
        if (savedRuntime_.empty()) {
            ::unsetenv("XDG_RUNTIME_DIR");
        } else {
            ::setenv("XDG_RUNTIME_DIR", savedRuntime_.c_str(), 1);
        }
    }

    zutest::TestHost host_;
    zutest::TempDir runtime_;
    platform::FileLock lock_;
    std::string savedRuntime_;
};

}  // namespace

TEST_F(PulseAudioTest, InstallFindRemoveRoundTrip) {
    ASSERT_TRUE(installAudioDriver(kToolLimitMs));
    EXPECT_TRUE(findAudioDriver(kToolLimitMs));
    AudioDeviceLink link;
    EXPECT_TRUE(link.openDeviceLink(AudioDeviceLinkPath()));
    link.close();

    // A second install finds the source already reading its FIFO.
    EXPECT_TRUE(installAudioDriver(kToolLimitMs));
    EXPECT_EQ(CountSourcesNamed("ZuAudioDevice"), 1);
    EXPECT_EQ(CountSourcesNamed("ZuAudioDevice.2"), 0);

    EXPECT_TRUE(removeAudioDriver(kToolLimitMs));
    EXPECT_FALSE(findAudioDriver(kToolLimitMs));
    EXPECT_FALSE(link.openDeviceLink(AudioDeviceLinkPath()));
    EXPECT_EQ(platform::GetFifoPathState(AudioDeviceLinkPath()), platform::FifoPathState::kMissing);
}

TEST_F(PulseAudioTest, StaleFifoNeitherFailsTheInstallNorHurtsTheServer) {
    const std::string path = AudioDeviceLinkPath();
    ASSERT_TRUE(platform::MakeDirs(platform::DirName(path), 0700));
    ASSERT_TRUE(platform::MakeFifo(path));  // as a crash would leave it
    EXPECT_TRUE(installAudioDriver(kToolLimitMs));
    EXPECT_TRUE(findAudioDriver(kToolLimitMs));
    EXPECT_FALSE(zutest::Pactl("info", 3000).empty()) << "the server stopped answering";
}

TEST_F(PulseAudioTest, ToneReachesRecordersWhileTheSpeakersStaySilent) {
    ASSERT_TRUE(installAudioDriver(kToolLimitMs));
    zutest::FakeAudioHost host(false);
    zutest::TempDir out;
    const std::string recording = out.file("mic.raw");
    platform::ChildProcess recorder;
    platform::ChildProcess::Options options;
    options.argv = {"timeout",       "30",           "parecord",     "--raw",          "-d",
                    "ZuAudioDevice", "--rate=48000", "--channels=1", "--format=s16le", recording};
    options.stderrPath = out.file("parecord.err");
    ASSERT_TRUE(recorder.start(options));
    ASSERT_TRUE(WaitForRecorder(5000));

    auto manager = VirtaulAudioDeviceManager::create();
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(manager->streamRunning());
    PushTone(*manager, 16000, milliseconds(4000));
    manager.reset();
    recorder.interrupt();
    EXPECT_GE(recorder.wait(5000), 0);

    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(recording, &bytes));
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    const size_t onset = zutest::FirstLoudSample(samples, 4000);
    ASSERT_NE(onset, static_cast<size_t>(-1)) << samples.size() << " samples, all quiet";
    // A second of steady tone after the onset (the server may start late).
    ASSERT_GE(samples.size(), onset + 4800 + 48000);
    auto tone = zutest::MeasureTone(samples, onset + 4800, onset + 4800 + 48000, 48000);
    EXPECT_NEAR(tone.frequency, 1000.0, 5.0);
    EXPECT_NEAR(tone.peak, 16000, 800);
    EXPECT_NEAR(tone.rms, 16000 / std::sqrt(2.0), 600);
    // -6.2 dBFS on the meter, and never out of range.
    EXPECT_EQ(host.maxLevel, 8);
    EXPECT_FALSE(host.levelOutOfRange);
}

TEST_F(PulseAudioTest, NobodyRecordingStallsNothing) {
    ASSERT_TRUE(installAudioDriver(kToolLimitMs));
    zutest::FakeAudioHost host(false);
    auto manager = VirtaulAudioDeviceManager::create();
    ASSERT_NE(manager, nullptr);
    const auto slowest = PushTone(*manager, 12000, milliseconds(2500));
    EXPECT_LT(slowest, milliseconds(100));
    // The stream keeps pulling a block every 40 ms (the null sink may take a
    // moment to start), whether or not the source takes them.
    const int before = host.levelReports;
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_GE(host.levelReports - before, 15);
    const auto start = Clock::now();
    manager.reset();
    EXPECT_LT(Clock::now() - start, milliseconds(1000));
}
