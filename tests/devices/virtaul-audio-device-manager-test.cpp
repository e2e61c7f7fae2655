#include "devices/virtaul-audio-device-manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "devices/audio-level.h"
#include "platform/fifo.h"
#include "platform/paths.h"
#include "tests/devices/audio-test-support.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

constexpr unsigned kFrames = VirtaulAudioDeviceManager::kBlockFrames;

std::vector<int16_t> Ramp(int count, int first) {
    std::vector<int16_t> v(count);
    for (int i = 0; i < count; ++i)
        v[i] = static_cast<int16_t>((first + i) * 3 % 30000 - 15000);
    return v;
}

std::vector<int16_t> Render(VirtaulAudioDeviceManager& manager,
                            VirtaulAudioDeviceManager::RenderedBlock* block = nullptr) {
    std::vector<int16_t> out(kFrames, 0x5555);
    auto rendered = manager.renderBlock(out.data(), kFrames);
    if (block)
        *block = rendered;
    return out;
}

class ManagerTest : public ::testing::Test {
protected:
    zutest::TestHost host_;
};

// A manager whose link is a FIFO this test reads, standing in for the source.
class ManagerWithLinkTest : public ManagerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::MakeFifo(path_));
        ASSERT_TRUE(source_.open(path_));
        ASSERT_TRUE(manager_.openDeviceLink(path_));
    }

    std::vector<int16_t> readSource(size_t samples) {
        std::vector<int16_t> got(samples);
        size_t bytes = 0;
        auto* p = reinterpret_cast<uint8_t*>(got.data());
        for (int tries = 0; bytes < samples * 2 && tries < 50; ++tries) {
            long n = source_.read(p + bytes, samples * 2 - bytes, 100);
            if (n < 0)
                break;
            bytes += static_cast<size_t>(n);
        }
        got.resize(bytes / 2);
        return got;
    }

    zutest::TempDir dir_;
    std::string path_ = dir_.file("link");
    platform::FifoReader source_;
    VirtaulAudioDeviceManager manager_;
};

}  // namespace

TEST_F(ManagerTest, WithoutAudioEachBlockIsSilentEmptyAndLevelZero) {
    zutest::FakeAudioHost host(true);
    VirtaulAudioDeviceManager manager;
    for (int i = 0; i < 3; ++i) {
        VirtaulAudioDeviceManager::RenderedBlock block{};
        auto out = Render(manager, &block);
        EXPECT_EQ(block.bytes, 0u);
        EXPECT_EQ(block.level, 0);
        EXPECT_EQ(out, std::vector<int16_t>(kFrames, 0));
    }
    EXPECT_EQ(host.levelReports, 3);
    EXPECT_EQ(host.lastLevel, 0);
}

TEST_F(ManagerTest, CallbackTakesWhatThereIsAndPadsWithZeros) {
    zutest::FakeAudioHost host(true);
    VirtaulAudioDeviceManager manager;
    auto in = Ramp(1000, 1);
    manager.pushAudio(in.data(), 1000, 48000, 1);
    ASSERT_EQ(manager.bufferedBytes(), 2000u);
    VirtaulAudioDeviceManager::RenderedBlock block{};
    auto out = Render(manager, &block);
    EXPECT_EQ(block.bytes, 2000u);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 1000), in);
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 1000, out.end()), std::vector<int16_t>(920, 0));
    EXPECT_EQ(manager.bufferedBytes(), 0u);
    EXPECT_EQ(block.level, AudioLevelOfBlock(in.data(), in.size()));
}

TEST_F(ManagerTest, HalfASecondAtOnceLeavesTheNewestTwoHundredMilliseconds) {
    zutest::FakeAudioHost host(true);
    VirtaulAudioDeviceManager manager;
    auto in = Ramp(24000, 3);
    manager.pushAudio(in.data(), 24000, 48000, 1);
    ASSERT_EQ(manager.bufferedBytes(), 19200u);
    std::vector<int16_t> held;
    for (int b = 0; b < 5; ++b) {
        auto out = Render(manager);
        held.insert(held.end(), out.begin(), out.end());
    }
    EXPECT_EQ(held, std::vector<int16_t>(in.end() - 9600, in.end()));
}

TEST_F(ManagerTest, PhoneAudioIsResampledToFortyEightKilohertzMonoBeforeStaging) {
    VirtaulAudioDeviceManager manager;
    zutest::ToneGenerator tone(1000, 44100, 2, 10000);
    for (int i = 0; i < 10; ++i) {  // 100 ms
        auto packet = tone.next(441);
        manager.pushAudio(packet.data(), 441, 44100, 2);
    }
    // 100 ms at 48 kHz mono is 9,600 bytes, less what the filter holds back.
    EXPECT_LE(manager.bufferedBytes(), 9600u);
    EXPECT_GE(manager.bufferedBytes(), 9600u - 128);
}

TEST_F(ManagerTest, BadAudioIsDroppedWithoutHarm) {
    VirtaulAudioDeviceManager manager;
    auto in = Ramp(480, 0);
    manager.pushAudio(in.data(), 480, 0, 1);
    manager.pushAudio(in.data(), 480, 48000, 0);
    manager.pushAudio(nullptr, 480, 48000, 1);
    manager.pushAudio(in.data(), -480, 48000, 1);
    // No microphone sends 1 Hz or 9 channels; 1 Hz would turn each sample
    // into 48,000. Nor does one block hold more than a second.
    manager.pushAudio(in.data(), 480, 1, 1);
    manager.pushAudio(in.data(), 48, 48000, 9);
    std::vector<int16_t> long_block(8001 * 2, 0);
    manager.pushAudio(long_block.data(), 8001, 8000, 2);
    EXPECT_EQ(manager.bufferedBytes(), 0u);
    manager.pushAudio(in.data(), 480, 48000, 1);
    EXPECT_EQ(manager.bufferedBytes(), 960u);
}

TEST_F(ManagerTest, SpeakersStaySilentWhenPlayingIsOffOrNoHostIsThere) {
    auto in = Ramp(kFrames, 11);
    {
        VirtaulAudioDeviceManager manager;  // no AppContext at all
        manager.pushAudio(in.data(), kFrames, 48000, 1);
        VirtaulAudioDeviceManager::RenderedBlock block{};
        EXPECT_EQ(Render(manager, &block), std::vector<int16_t>(kFrames, 0));
        EXPECT_EQ(block.bytes, kFrames * 2);
        EXPECT_GT(block.level, 0);
    }
    zutest::FakeAudioHost host(false);
    VirtaulAudioDeviceManager manager;
    manager.pushAudio(in.data(), kFrames, 48000, 1);
    EXPECT_EQ(Render(manager), std::vector<int16_t>(kFrames, 0));
    // Switching it on takes effect at the next block.
    host.playAudio = true;
    manager.pushAudio(in.data(), kFrames, 48000, 1);
    EXPECT_EQ(Render(manager), in);
}

TEST_F(ManagerWithLinkTest, DeviceAndMeterGetTheAudioWhilePlayingIsOff) {
    zutest::FakeAudioHost host(false);
    auto in = Ramp(kFrames, 5);
    manager_.pushAudio(in.data(), kFrames, 48000, 1);
    auto out = Render(manager_);
    EXPECT_EQ(out, std::vector<int16_t>(kFrames, 0));
    EXPECT_EQ(readSource(kFrames), in);
    EXPECT_EQ(host.lastLevel, AudioLevelOfBlock(in.data(), in.size()));
    EXPECT_GT(host.lastLevel, 0);
}

TEST_F(ManagerWithLinkTest, EmptyBlocksWriteNothingToTheDevice) {
    zutest::FakeAudioHost host(true);
    for (int i = 0; i < 4; ++i)
        Render(manager_);
    EXPECT_EQ(manager_.link().writtenBlocks(), 4u);
    char byte;
    EXPECT_EQ(source_.read(&byte, 1, 50), 0);
    auto in = Ramp(300, 2);
    manager_.pushAudio(in.data(), 300, 48000, 1);
    Render(manager_);
    EXPECT_EQ(readSource(300), in);  // exactly the staged bytes, no padding
}

TEST_F(ManagerWithLinkTest, PushersAndTheCallbackRunTogether) {
    zutest::FakeAudioHost host(false);
    std::atomic<bool> stop{false};
    std::vector<std::thread> pushers;
    for (int t = 0; t < 2; ++t) {
        pushers.emplace_back([&, t] {
            zutest::ToneGenerator tone(500 + 500 * t, 44100 + 3900 * t, 2, 9000);
            const int rate = 44100 + 3900 * t;
            while (!stop) {
                auto packet = tone.next(rate / 100);
                manager_.pushAudio(packet.data(), rate / 100, rate, 2);
            }
        });
    }
    std::thread reader([&] {
        std::vector<uint8_t> sink(65536);
        while (!stop)
            source_.read(sink.data(), sink.size(), 10);
    });
    for (int i = 0; i < 300; ++i) {
        Render(manager_);
        ASSERT_LE(manager_.bufferedBytes(), AudioStagingBuffer::kCapacity);
    }
    stop = true;
    for (auto& t : pushers)
        t.join();
    reader.join();
    EXPECT_FALSE(host.levelOutOfRange);
    EXPECT_EQ(host.levelReports, 300);
}

TEST_F(ManagerTest, CreateFailsWhenTheMicrophoneIsNotInstalled) {
    zutest::TempDir runtime;
    const std::string saved = platform::GetEnv("XDG_RUNTIME_DIR");
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    EXPECT_EQ(VirtaulAudioDeviceManager::create(), nullptr);
    EXPECT_TRUE(host_.contains("virtual microphone link"));
    if (saved.empty()) {
        ::unsetenv("XDG_RUNTIME_DIR");
    } else {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
}

TEST_F(ManagerTest, NoSoundServerMeansNoStreamAndTheFramedError) {
    const std::string saved = platform::GetEnv("PULSE_SERVER");
    ::setenv("PULSE_SERVER", "unix:/nonexistent/zucam-test/native", 1);
    VirtaulAudioDeviceManager manager;
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    const bool opened = manager.openStream();
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string out = testing::internal::GetCapturedStdout();
    if (saved.empty()) {
        ::unsetenv("PULSE_SERVER");
    } else {
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    }
    if (opened)
        GTEST_SKIP() << "this machine has an ALSA output device to fall back on";
    EXPECT_FALSE(manager.streamRunning());
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(out.rfind("-------------------------\n", 0), 0u) << out;
    EXPECT_NE(out.find("\n-----------------------------\n"), std::string::npos) << out;
    EXPECT_TRUE(host_.contains("no audio output stream could be opened"));
}
