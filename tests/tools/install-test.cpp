// `cmake --install` of this build: the programs with their libraries, links
// on the PATH that run without a display, the desktop entry and the icon.
#include <gtest/gtest.h>

#include <string>

#include "platform/child-process.h"
#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace {

std::string Read(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

int Install(const std::string& prefix, const std::string& destdir = "") {
    std::vector<std::string> argv = {"cmake", "--install", ZUCAM_BINARY_DIR, "--prefix", prefix};
    if (!destdir.empty())
        argv.insert(argv.begin(), {"env", "DESTDIR=" + destdir});
    std::string out, err;
    int code = platform::RunProcess(argv, 120000, &out, &err);
    EXPECT_EQ(code, 0) << out << err;
    return code;
}

TEST(Install, ProgramsLinksDesktopEntryAndIcon) {
    zutest::TempDir dir;
    std::string prefix = dir.file("prefix");
    ASSERT_EQ(Install(prefix), 0);
    for (const char* file :
         {"zucam", "zucamd", "zucam-camera", "zucam-phone-sim", "libzup2p.so", "libcordlink.so"}) {
        EXPECT_TRUE(platform::FileExists(prefix + "/lib/zucam/" + file)) << file;
    }
    // Through the links, with an empty environment: no display, no HOME.
    for (const char* program : {"zucam-camera", "zucamd", "zucam-phone-sim"}) {
        std::string out;
        EXPECT_EQ(
            platform::RunProcess({"env", "-i", prefix + "/bin/" + program, "--help"}, 10000, &out),
            0)
            << program;
        EXPECT_NE(out.find("Usage"), std::string::npos) << program << ": " << out;
    }
    std::string out;
    EXPECT_EQ(platform::RunProcess({prefix + "/bin/zucam-camera", "--version"}, 10000, &out), 0);
    EXPECT_EQ(out.compare(0, 13, "zucam-camera "), 0) << out;

    std::string entry = Read(prefix + "/share/applications/zucam.desktop");
    EXPECT_EQ(entry.compare(0, 16, "[Desktop Entry]\n"), 0) << entry;
    for (const char* line : {"\nType=Application\n", "\nName=ZuCam\n", "\nExec=zucam\n",
                             "\nIcon=zucam\n", "\nTerminal=false\n"}) {
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    }
    std::string icon = Read(prefix + "/share/icons/hicolor/scalable/apps/zucam.svg");
    EXPECT_NE(icon.find("<svg"), std::string::npos);
    EXPECT_NE(icon.find("viewBox=\"0 0 256 256\""), std::string::npos) << "a square icon";
}

TEST(Install, StagedInstallKeepsRelativeLinks) {
    zutest::TempDir dir;
    ASSERT_EQ(Install("/usr", dir.path()), 0);
    std::string out;
    EXPECT_EQ(
        platform::RunProcess({dir.path() + "/usr/bin/zucam-camera", "--version"}, 10000, &out), 0)
        << "the link resolves inside the staging folder";
    EXPECT_TRUE(platform::FileExists(dir.path() + "/usr/share/applications/zucam.desktop"));
}

}  // namespace
