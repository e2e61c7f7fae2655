#include "host-system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/system-info.h"
#include "tests/support/temp-dir.h"
#include "uninstall.h"

namespace {

// Options that only name the command.
platform::ChildProcess::Options Command(std::vector<std::string> argv) {
    platform::ChildProcess::Options options;
    options.argv = std::move(argv);
    return options;
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A copy of `sleep` under a name of its own: ending "adb" itself would hit
// whatever adb the machine runs.
std::string CopySleep(const zutest::TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    fs::copy_file("/bin/sleep", path);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

bool WaitFound(const std::string& name, long* pid) {
    for (int i = 0; i < 200; ++i) {
        if (FindProcessByName(name, pid))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(HostSystemTest, EndsTheFirstProcessOfThatName) {
    zutest::TempDir dir;
    const std::string name = "zuAdb" + std::to_string(::getpid() % 1000000);
    platform::ChildProcess child;
    ASSERT_TRUE(child.start(Command({CopySleep(dir, name), "30"})));
    long pid = 0;
    ASSERT_TRUE(WaitFound(name, &pid));
    EXPECT_EQ(pid, child.pid());
    EXPECT_TRUE(TerminateProcessByName(name));
    EXPECT_EQ(child.wait(5000), 128 + 15);
    // Nothing of that name is left: nothing happens.
    EXPECT_FALSE(FindProcessByName(name, &pid));
    EXPECT_FALSE(TerminateProcessByName(name));
    EXPECT_FALSE(FindProcessByName("", &pid));
}

TEST(HostSystemTest, SystemQuestions) {
    EXPECT_TRUE(IsWindows10OrGreater());
    const std::string machine = platform::MachineArchitecture();
    EXPECT_EQ(Is64BitWindows(), machine == "x86_64" || machine == "aarch64");
}

TEST(UninstallTest, WarningTextListsHoldersInOrder) {
    EXPECT_EQ(UninstallWarningText({}),
              QString::fromUtf8("由于以下软件占用驱动文件，软件将不能完全卸载"));
    EXPECT_EQ(UninstallWarningText({"obs", "chrome", "zoom"}),
              QString::fromUtf8(
                  "由于以下软件占用驱动文件，软件将不能完全卸载\n1. chrome\n2. obs\n3. zoom"));
}

TEST(UninstallTest, FindsTheProgramsHoldingTheFilterFiles) {
    zutest::TempDir dir;
    const QString appDir = QString::fromStdString(dir.path());
    const std::set<QString> files = CameraFilterFiles(appDir);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.count(appDir + "/Drivers/camera/zu-virtual-camera-dshow32.dll"));
    EXPECT_TRUE(files.count(appDir + "/Drivers/camera/zu-virtual-camera-dshow64.dll"));
    EXPECT_TRUE(FilterFileHolders(appDir).empty());

    fs::create_directories(dir.file("Drivers/camera"));
    const std::string name = "zuHold" + std::to_string(::getpid() % 1000000);
    const std::string program = CopySleep(dir, name);
    // Two holders of the same name, one per file: listed once.
    std::vector<std::unique_ptr<platform::ChildProcess>> holders;
    for (const QString& file : files) {
        platform::ChildProcess::Options options;
        options.argv = {program, "30"};
        options.stdoutPath = file.toStdString();
        holders.push_back(std::make_unique<platform::ChildProcess>());
        ASSERT_TRUE(holders.back()->start(options));
    }
    std::set<QString> found;
    for (int i = 0; i < 200 && !found.count(QString::fromStdString(name)); ++i) {
        found = FilterFileHolders(appDir);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(found, std::set<QString>{QString::fromStdString(name)});
}

}  // namespace
