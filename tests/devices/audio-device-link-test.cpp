#include "devices/audio-device-link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/fifo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Pattern(size_t size, int seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 31 + seed);
    return bytes;
}

class AudioDeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::MakeFifo(path_)); }

    // Reads whatever arrives until `size` bytes are in or nothing comes for a while.
    std::vector<uint8_t> drain(platform::FifoReader& reader, size_t size) {
        std::vector<uint8_t> got;
        std::vector<uint8_t> chunk(65536);
        auto deadline = Clock::now() + std::chrono::seconds(5);
        while (got.size() < size && Clock::now() < deadline) {
            long n = reader.read(chunk.data(), chunk.size(), 200);
            if (n < 0)
                break;
            got.insert(got.end(), chunk.begin(), chunk.begin() + n);
        }
        return got;
    }

    zutest::TestHost host_;
    zutest::TempDir dir_;
    std::string path_ = dir_.file("ZuAudioDeviceLink");
};

}  // namespace

TEST_F(AudioDeviceLinkTest, OpenFailsWhileNoSourceReads) {
    AudioDeviceLink link;
    EXPECT_FALSE(link.openDeviceLink(path_));
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(host_.contains("has no reader"));
    EXPECT_FALSE(link.writeBlock(Pattern(100, 0).data(), 100));
}

TEST_F(AudioDeviceLinkTest, OpenRefusesAMissingPathAndAPlainFile) {
    AudioDeviceLink link;
    EXPECT_FALSE(link.openDeviceLink(dir_.file("missing")));
    const std::string plain = dir_.file("plain");
    ASSERT_GE(platform::WriteWholeFile(plain, "x"), 0);
    EXPECT_FALSE(link.openDeviceLink(plain));
    EXPECT_EQ(platform::FileSize(plain), 1);  // nothing was written into it
}

TEST_F(AudioDeviceLinkTest, BlocksReachTheReaderIntactAndInOrder) {
    platform::FifoReader reader;
    ASSERT_TRUE(reader.open(path_));
    AudioDeviceLink link;
    ASSERT_TRUE(link.openDeviceLink(path_));

    // A full 40 ms block, an empty one, a short odd tail, and one above the
    // FIFO's atomic size, which goes out in whole chunks.
    std::vector<std::vector<uint8_t>> blocks = {Pattern(3840, 1), Pattern(0, 2), Pattern(962, 3),
                                                Pattern(9000, 4)};
    std::vector<uint8_t> expected;
    std::thread writer([&] {
        for (const auto& b : blocks) {
            EXPECT_TRUE(link.writeBlock(b.data(), b.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    for (const auto& b : blocks)
        expected.insert(expected.end(), b.begin(), b.end());
    std::vector<uint8_t> got = drain(reader, expected.size());
    writer.join();
    EXPECT_EQ(got, expected);
    EXPECT_EQ(link.writtenBlocks(), blocks.size());
    EXPECT_EQ(link.droppedBlocks(), 0u);
}

TEST_F(AudioDeviceLinkTest, FullFifoDropsAndCountsWithoutBlocking) {
    platform::FifoReader reader;  // holds the FIFO open, reads nothing
    ASSERT_TRUE(reader.open(path_));
    AudioDeviceLink link;
    ASSERT_TRUE(link.openDeviceLink(path_));

    const auto block = Pattern(3840, 9);
    const auto start = Clock::now();
    int written = 0;
    while (link.writeBlock(block.data(), block.size())) {
        ASSERT_LT(++written, 1000) << "the FIFO never filled";
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(link.writeBlock(block.data(), block.size()));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    // The link asks for a small FIFO, so little stale audio can wait in it.
    EXPECT_LE(written * block.size(), AudioDeviceLink::kFifoCapacity);
    EXPECT_EQ(link.writtenBlocks(), static_cast<uint64_t>(written));
    EXPECT_EQ(link.droppedBlocks(), 21u);

    // Once the source reads again, blocks flow again, each one whole.
    std::vector<uint8_t> got = drain(reader, written * block.size());
    ASSERT_EQ(got.size(), written * block.size());
    for (int i = 0; i < written; ++i) {
        EXPECT_TRUE(std::equal(block.begin(), block.end(), got.begin() + i * block.size()));
    }
    EXPECT_TRUE(link.writeBlock(block.data(), block.size()));
}

TEST_F(AudioDeviceLinkTest, ReaderThatLeavesNeitherKillsNorStallsTheWriter) {
    // The program ignores SIGPIPE, but the link must not depend on that.
    auto previous = std::signal(SIGPIPE, SIG_DFL);
    {
        platform::FifoReader reader;
        ASSERT_TRUE(reader.open(path_));
        AudioDeviceLink link;
        ASSERT_TRUE(link.openDeviceLink(path_));
        reader.close();
        const auto block = Pattern(3840, 5);
        for (int i = 0; i < 5; ++i)
            EXPECT_FALSE(link.writeBlock(block.data(), block.size()));
        EXPECT_EQ(link.droppedBlocks(), 5u);
        EXPECT_EQ(host_.count("lost its reader"), 1);
        link.close();
        EXPECT_FALSE(link.writeBlock(block.data(), block.size()));
    }
    std::signal(SIGPIPE, previous);
}

TEST(AudioDeviceLinkPath, LivesInTheUsersRuntimeDirectory) {
    const std::string saved = platform::GetEnv("XDG_RUNTIME_DIR");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(AudioDeviceLinkPath(), "/run/user/4242/zucam/ZuAudioDeviceLink");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(AudioDeviceLinkPath(), platform::RuntimeDir() + "/ZuAudioDeviceLink");
    EXPECT_EQ(AudioDeviceLinkPath().rfind("/tmp/zucam-", 0), 0u);
    if (!saved.empty())
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
