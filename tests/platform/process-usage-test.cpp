#include "platform/process-usage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/paths.h"

namespace {

TEST(ProcessUsageTest, ReportsOwnMemoryAndGrowingProcessorTime) {
    platform::ProcessUsage before;
    ASSERT_TRUE(platform::ReadProcessUsage(platform::CurrentProcessId(), &before));
    EXPECT_GT(before.residentKiB, 0);
    EXPECT_GE(before.peakResidentKiB, before.residentKiB);
    EXPECT_GT(before.fileKiB, 0);
    EXPECT_GE(before.anonymousKiB, 0);
    EXPECT_GE(before.sharedMemKiB, 0);

    // Touch 64 MiB and burn some processor time: both must show.
    std::vector<char> block(64 << 20, 1);
    volatile unsigned sum = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    while (std::chrono::steady_clock::now() < until) {
        for (size_t i = 0; i < block.size(); i += 4096)
            sum = sum + static_cast<unsigned>(block[i]);
    }
    platform::ProcessUsage after;
    ASSERT_TRUE(platform::ReadProcessUsage(platform::CurrentProcessId(), &after));
    EXPECT_GE(after.residentKiB, before.residentKiB + 60 * 1024);
    EXPECT_GT(after.cpuSeconds, before.cpuSeconds);
}

TEST(ProcessUsageTest, RefusesMissingProcesses) {
    platform::ProcessUsage usage;
    EXPECT_FALSE(platform::ReadProcessUsage(0, &usage));
    EXPECT_FALSE(platform::ReadProcessUsage(-5, &usage));
    EXPECT_FALSE(platform::ReadProcessUsage(1234567890, &usage));
    EXPECT_FALSE(platform::ReadProcessUsage(1, nullptr));
}

}  // namespace
