#include "platform/child-process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/process-identity.h"
#include "platform/process-list.h"
#include "platform/process.h"
#include "tests/support/temp-dir.h"

namespace {

// Options that only name the command.
platform::ChildProcess::Options Command(std::vector<std::string> argv) {
    platform::ChildProcess::Options options;
    options.argv = std::move(argv);
    return options;
}

// Waits (bounded) until the process has set SIGTERM to be ignored.
bool IgnoresSigterm(long pid) {
    for (int i = 0; i < 500; ++i) {
        std::string status;
        platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/status", &status);
        const size_t at = status.find("SigIgn:");
        if (at != std::string::npos &&
            (std::stoull(status.substr(at + 7), nullptr, 16) & (1ull << (15 - 1))) != 0)
            return true;
        usleep(10000);
    }
    return false;
}

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(ChildProcessTest, WaitTimesOutAndLeavesTheChildRunning) {
    platform::ChildProcess child;
    ASSERT_TRUE(child.start(Command({"sleep", "30"})));
    const auto start = Clock::now();
    EXPECT_EQ(child.wait(100), -1);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(child.running());
    EXPECT_TRUE(child.signal(false));
    EXPECT_EQ(child.wait(5000), 128 + 15);
    EXPECT_FALSE(child.running());
    EXPECT_FALSE(child.signal(true));  // nothing left to signal
}

TEST(ChildProcessTest, StopEndsAnOrderlyChildAndKillsOneThatIgnoresTheRequest) {
    platform::ChildProcess orderly;
    ASSERT_TRUE(orderly.start(Command({"sleep", "30"})));
    EXPECT_EQ(orderly.stop(5000), 128 + 15);
    EXPECT_EQ(orderly.stop(5000), 128 + 15);  // already ended: the same code

    platform::ChildProcess stubborn;
    ASSERT_TRUE(stubborn.start(Command({"sh", "-c", "trap '' TERM; sleep 30"})));
    const long pid = stubborn.pid();
    ASSERT_TRUE(IgnoresSigterm(pid)) << "sh never set its trap";
    EXPECT_EQ(stubborn.stop(200), -1);
    EXPECT_FALSE(stubborn.running());
    EXPECT_FALSE(platform::ProcessExists(pid));
}

TEST(ChildProcessTest, DestructorKillsAndReapsARunningChild) {
    long pid = -1;
    {
        platform::ChildProcess child;
        ASSERT_TRUE(child.start(Command({"sleep", "30"})));
        pid = child.pid();
        EXPECT_TRUE(platform::ProcessExists(pid));
    }
    EXPECT_FALSE(platform::ProcessExists(pid));  // reaped, not a zombie
}

TEST(ChildProcessTest, ExitCodesSignalsAndMissingPrograms) {
    platform::ChildProcess exits;
    ASSERT_TRUE(exits.start(Command({"sh", "-c", "exit 7"})));
    EXPECT_EQ(exits.wait(5000), 7);

    platform::ChildProcess killed;
    ASSERT_TRUE(killed.start(Command({"sh", "-c", "kill -9 $$"})));
    EXPECT_EQ(killed.wait(5000), 128 + 9);

    platform::ChildProcess missing;
    EXPECT_FALSE(missing.start(Command({"/no/such/program"})));
    EXPECT_FALSE(missing.start(Command({})));
    EXPECT_FALSE(missing.running());
}

TEST(ChildProcessTest, OutputEnvironmentAndFolder) {
    zutest::TempDir dir;
    platform::ChildProcess::Options options;
    options.argv = {"sh", "-c", "echo \"$ZU_A|${ZU_B-unset}|$(pwd)\"; echo err >&2"};
    options.env = {{"ZU_A", "set"}, {"HOME", ""}, {"ZU_B", ""}};
    options.stdoutPath = dir.file("out");
    options.stderrPath = dir.file("err");
    options.workDir = dir.path();
    platform::ChildProcess child;
    ASSERT_TRUE(child.start(options));
    EXPECT_EQ(child.wait(5000), 0);
    std::string out;
    std::string err;
    ASSERT_TRUE(platform::ReadWholeFile(dir.file("out"), &out));
    ASSERT_TRUE(platform::ReadWholeFile(dir.file("err"), &err));
    EXPECT_EQ(out, "set|unset|" + dir.path() + "\n");
    EXPECT_EQ(err, "err\n");
}

TEST(ChildProcessTest, RunProcessCapturesAndBoundsTheRun) {
    std::string out;
    std::string err;
    EXPECT_EQ(
        platform::RunProcess({"sh", "-c", "printf 'a b'; printf e >&2; exit 3"}, 5000, &out, &err),
        3);
    EXPECT_EQ(out, "a b");
    EXPECT_EQ(err, "e");

    const auto start = Clock::now();
    EXPECT_EQ(platform::RunProcess({"sleep", "30"}, 200, &out), -1);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(platform::RunProcess({"/no/such/program"}, 1000, &out), -1);
}

TEST(ChildProcessTest, BrokenPipeDoesNotKillTheProcess) {
    platform::IgnoreBrokenPipe();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    EXPECT_EQ(::write(fds[1], "x", 1), -1);  // EPIPE instead of death by SIGPIPE
    ::close(fds[1]);
}

// The children of this process, zombies included.
std::vector<long> OwnChildren() {
    std::vector<long> children;
    const std::string self = std::to_string(::getpid());
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + self + "/task")) {
        std::ifstream in(task.path() / "children");
        for (long pid; in >> pid;)
            children.push_back(pid);
    }
    return children;
}

// Runs in a child process that adopts orphans, as ZuCam does: exits 0 once
// the opener ran and nothing it left behind is still a child (a zombie).
void OpenFolderAndCount(const std::string& marker) {
    if (!platform::AdoptOrphanedDescendants() || !OwnChildren().empty())
        std::exit(3);
    // An opener that leaves helpers behind, as xdg-open does.
    if (!platform::SpawnDetached(
            {"sh", "-c", "(sleep 0.2; : > \"$0\") & sleep 0.1 & exit 0", marker}))
        std::exit(4);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (platform::FileExists(marker) && OwnChildren().empty())
            std::exit(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::exit(5);
}

TEST(SpawnDetachedDeathTest, WhatAnOpenerLeavesBehindNeverStaysOurZombie) {
    zutest::TempDir dir;
    EXPECT_EXIT(OpenFolderAndCount(dir.file("ran")), ::testing::ExitedWithCode(0), "");
}

}  // namespace
