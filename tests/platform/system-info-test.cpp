#include "platform/system-info.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace {

using namespace std::chrono_literals;

TEST(SystemInfoTest, MachineArchitectureIsTheKernels) {
    const std::string machine = platform::MachineArchitecture();
    EXPECT_FALSE(machine.empty());
#if defined(__x86_64__)
    EXPECT_EQ(machine, "x86_64");
#elif defined(__aarch64__)
    EXPECT_EQ(machine, "aarch64");
#endif
}

TEST(SystemInfoTest, PowerSaverFromThePlatformProfile) {
    zutest::TempDir dir;
    const std::string profile = dir.file("platform_profile");
    platform::WriteWholeFile(profile, "low-power\n");
    EXPECT_TRUE(platform::PowerSaverActiveFrom(profile, {}, 1000));
    platform::WriteWholeFile(profile, "balanced\n");
    EXPECT_FALSE(platform::PowerSaverActiveFrom(profile, {}, 1000));
    platform::WriteWholeFile(profile, "low-powerful\n");
    EXPECT_FALSE(platform::PowerSaverActiveFrom(profile, {}, 1000));
    EXPECT_FALSE(platform::PowerSaverActiveFrom(dir.file("missing"), {}, 1000));
}

TEST(SystemInfoTest, PowerSaverFromTheDaemon) {
    zutest::TempDir dir;
    const std::string missing = dir.file("missing");
    EXPECT_TRUE(platform::PowerSaverActiveFrom(missing, {"echo", "power-saver"}, 5000));
    EXPECT_FALSE(platform::PowerSaverActiveFrom(missing, {"echo", "balanced"}, 5000));
    // A daemon that is not there, that fails or that hangs means "no".
    EXPECT_FALSE(platform::PowerSaverActiveFrom(missing, {"/no/such/powerprofilesctl"}, 5000));
    EXPECT_FALSE(
        platform::PowerSaverActiveFrom(missing, {"sh", "-c", "echo power-saver; exit 1"}, 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::PowerSaverActiveFrom(missing, {"sleep", "30"}, 200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    // The profile file is asked first.
    platform::WriteWholeFile(dir.file("p"), "low-power");
    EXPECT_TRUE(platform::PowerSaverActiveFrom(dir.file("p"), {"echo", "balanced"}, 5000));
}

TEST(SystemInfoTest, PowerSaverOnThisMachineAnswersWithoutHanging) {
    const auto start = std::chrono::steady_clock::now();
    (void)platform::IsPowerSaverActive();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
