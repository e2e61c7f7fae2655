#include "platform/process-list.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/process-state.h"
#include "tests/support/temp-dir.h"

namespace {

// Options that only name the command.
platform::ChildProcess::Options Command(std::vector<std::string> argv) {
    platform::ChildProcess::Options options;
    options.argv = std::move(argv);
    return options;
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool Contains(const std::vector<long>& pids, long pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// A copy of `sleep` under a name no other process on the machine has (at
// most 15 characters, the kernel's limit for the process name).
class NamedSleeper {
public:
    explicit NamedSleeper(const zutest::TempDir& dir)
        : name_("zuSl" + std::to_string(::getpid() % 100000000)) {
        path_ = dir.file(name_);
        fs::copy_file("/bin/sleep", path_);
        fs::permissions(path_, fs::perms::owner_all);
    }
    bool start() { return child_.start(Command({path_, "30"})); }
    const std::string& name() const { return name_; }
    platform::ChildProcess& child() { return child_; }

private:
    std::string name_;
    std::string path_;
    platform::ChildProcess child_;
};

// The process name is set by exec; until then the child still carries ours.
bool WaitUntilListed(const std::string& name, long pid) {
    for (int i = 0; i < 200; ++i) {
        if (Contains(platform::FindProcessesByName(name), pid))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(ProcessListTest, FindsByNameIgnoringCaseAndEndsIt) {
    zutest::TempDir dir;
    NamedSleeper sleeper(dir);
    ASSERT_TRUE(sleeper.start());
    const long pid = sleeper.child().pid();
    ASSERT_TRUE(WaitUntilListed(sleeper.name(), pid));
    std::string upper = sleeper.name();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(Contains(platform::FindProcessesByName(upper), pid));
    EXPECT_TRUE(platform::ProcessExists(pid));

    EXPECT_TRUE(platform::TerminateProcess(pid));
    EXPECT_EQ(sleeper.child().wait(5000), 128 + 15);
    EXPECT_FALSE(platform::ProcessExists(pid));
    EXPECT_FALSE(Contains(platform::FindProcessesByName(sleeper.name()), pid));
}

TEST(ProcessListTest, NeverListsItselfNorMatchesAnEmptyName) {
    const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
    EXPECT_FALSE(Contains(platform::FindProcessesByName(self), ::getpid()));
    // Kernel threads have no executable; an empty name must not match them.
    EXPECT_TRUE(platform::FindProcessesByName("").empty());
    EXPECT_TRUE(platform::FindProcessesByName("zucam-no-such-process-name").empty());
}

TEST(ProcessListTest, InvalidIdsAreRefused) {
    EXPECT_FALSE(platform::TerminateProcess(0));
    EXPECT_FALSE(platform::TerminateProcess(-1));
    EXPECT_FALSE(platform::ProcessExists(0));
    EXPECT_FALSE(platform::ProcessExists(-5));
    EXPECT_TRUE(platform::ProcessExists(::getpid()));
}

TEST(ProcessListTest, FindsProcessesHoldingAFile) {
    zutest::TempDir dir;
    NamedSleeper sleeper(dir);
    const std::string held = dir.file("zu-virtual-camera-dshow64.dll");
    platform::ChildProcess::Options options;
    options.argv = {dir.file(sleeper.name()), "30"};
    options.stdoutPath = held;  // the child keeps it open as its output
    platform::ChildProcess child;
    ASSERT_TRUE(child.start(options));
    ASSERT_TRUE(WaitUntilListed(sleeper.name(), child.pid()));

    bool found = false;
    for (const platform::ProcessHolding& h :
         platform::ProcessesHoldingFiles({dir.file("other.dll"), held})) {
        if (h.pid == child.pid()) {
            found = true;
            EXPECT_EQ(h.name, sleeper.name());
        }
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(platform::ProcessesHoldingFiles({}).empty());
    EXPECT_TRUE(platform::ProcessesHoldingFiles({dir.file("nobody-holds-this")}).empty());
}

TEST(ProcessStateTest, ZombiesAndVanishedProcessesAreNotRunning) {
    EXPECT_TRUE(platform::ProcessRunning(::getpid()));
    EXPECT_FALSE(platform::ProcessRunning(0));
    EXPECT_FALSE(platform::ProcessRunning(-1));
    EXPECT_FALSE(platform::ProcessRunning(1L << 40));

    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ASSERT_GT(pid, 0);
    // Not reaped yet: it still exists, but it no longer runs.
    bool zombie = false;
    for (int i = 0; i < 500 && !zombie; ++i) {
        zombie = !platform::ProcessRunning(pid);
        if (!zombie)
            std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(zombie);
    EXPECT_TRUE(platform::ProcessExists(pid));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(platform::ProcessRunning(pid));
}

}  // namespace
