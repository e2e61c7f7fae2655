#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace {

// Sets or clears an environment variable for one test.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name) {
        const char* old = ::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvOverride() {
        if (hadOld_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool hadOld_ = false;
    std::string old_;
};

TEST(PathsTest, XdgFoldersFallBackToHome) {
    EnvOverride home("HOME", "/home/zu");
    {
        EnvOverride config("XDG_CONFIG_HOME", nullptr);
        EnvOverride state("XDG_STATE_HOME", "");
        EXPECT_EQ(platform::ConfigHomeDir(), "/home/zu/.config");
        EXPECT_EQ(platform::StateHomeDir(), "/home/zu/.local/state");
    }
    EnvOverride config("XDG_CONFIG_HOME", "/x/config");
    EnvOverride state("XDG_STATE_HOME", "/x/state");
    EXPECT_EQ(platform::ConfigHomeDir(), "/x/config");
    EXPECT_EQ(platform::StateHomeDir(), "/x/state");
    EXPECT_EQ(platform::HomeDir(), "/home/zu");
}

TEST(PathsTest, HomeWithoutHomeVariableComesFromThePasswordDatabase) {
    EnvOverride home("HOME", nullptr);
    EXPECT_FALSE(platform::HomeDir().empty());
    EXPECT_EQ(platform::HomeDir()[0], '/');
}

TEST(PathsTest, DirName) {
    EXPECT_EQ(platform::DirName("/a/b/c.png"), "/a/b");
    EXPECT_EQ(platform::DirName("/c.png"), "/");
    EXPECT_EQ(platform::DirName("c.png"), ".");
    EXPECT_EQ(platform::DirName("a/"), "a");
}

TEST(PathsTest, MakeDirsCreatesParentsAndRefusesFiles) {
    zutest::TempDir dir;
    EXPECT_TRUE(platform::MakeDirs(dir.file("a/b/c")));
    EXPECT_TRUE(platform::IsDirectory(dir.file("a/b/c")));
    EXPECT_TRUE(platform::MakeDirs(dir.file("a/b/c")));  // already there
    platform::WriteWholeFile(dir.file("file"), "x");
    EXPECT_FALSE(platform::MakeDirs(dir.file("file")));
    EXPECT_FALSE(platform::MakeDirs(dir.file("file/sub")));
    EXPECT_FALSE(platform::MakeDirs(""));
}

TEST(PathsTest, ProcessIdentity) {
    EXPECT_EQ(platform::CurrentProcessId(), static_cast<long>(::getpid()));
    const std::string exe = platform::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.substr(exe.find_last_of('/') + 1), "paths_test");
    EXPECT_EQ(platform::ExecutableDir(), exe.substr(0, exe.find_last_of('/')));
    EXPECT_FALSE(platform::HostName().empty());
    EXPECT_FALSE(platform::UserName().empty());
    EXPECT_EQ(platform::GetEnv("ZUCAM_SURELY_UNSET_VARIABLE"), "");
}

TEST(PathsTest, RuntimeDirFallbackIsPrivate) {
    EnvOverride runtime("XDG_RUNTIME_DIR", nullptr);
    const std::string dir = platform::RuntimeDir();
    EXPECT_EQ(dir, "/tmp/zucam-" + std::to_string(::geteuid()));
    EXPECT_TRUE(platform::IsDirectory(dir));
}

}  // namespace
