#include "platform/files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp-dir.h"

namespace {

namespace fs = std::filesystem;

TEST(FilesTest, AtomicWriteReplacesWholeAndLeavesNothingBehind) {
    zutest::TempDir dir;
    const std::string path = dir.file("settings.json");
    ASSERT_TRUE(platform::WriteFileAtomic(path, std::string(100000, 'a')));
    ASSERT_TRUE(platform::WriteFileAtomic(path, "short"));
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    EXPECT_EQ(text, "short");
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(e.path().filename(), "settings.json");
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    // Binary content and the empty text survive as they are.
    const std::string binary("\0\xff\n\r\x01", 5);
    ASSERT_TRUE(platform::WriteFileAtomic(path, binary));
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    EXPECT_EQ(text, binary);
    ASSERT_TRUE(platform::WriteFileAtomic(path, ""));
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    EXPECT_EQ(text, "");
}

TEST(FilesTest, FailedAtomicWriteKeepsTheOldFileAndSaysWhy) {
    zutest::TempDir dir;
    std::string error;
    EXPECT_FALSE(platform::WriteFileAtomic(dir.file("missing/dir/file"), "x", &error));
    EXPECT_NE(error.find("create"), std::string::npos) << error;

    // The target is a non-empty folder: the rename fails, the folder stays.
    const std::string folder = dir.file("taken");
    fs::create_directories(folder + "/inside");
    error.clear();
    EXPECT_FALSE(platform::WriteFileAtomic(folder, "x", &error));
    EXPECT_NE(error.find("rename"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(folder + "/inside"));
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";
}

// A folder everybody may write to, holding a link someone planted under the
// name about to be written, pointing at a file that must stay as it is.
struct PlantedLink {
    explicit PlantedLink(const std::string& name) {
        fs::create_directories(shared);
        fs::permissions(shared, fs::perms::all);
        EXPECT_EQ(platform::WriteWholeFile(victim, "precious"), 8);
        fs::create_symlink(victim, shared + "/" + name);
        path = shared + "/" + name;
    }
    std::string VictimText() const {
        std::string text;
        platform::ReadWholeFile(victim, &text);
        return text;
    }
    zutest::TempDir dir;
    const std::string shared = dir.file("shared");
    const std::string victim = dir.file("victim");
    std::string path;
};

TEST(FilesTest, FreshFilesNeverFollowAPlantedLink) {
    PlantedLink planted("shot.png");
    ASSERT_TRUE(platform::WriteFreshFile(planted.path, "picture"));
    EXPECT_EQ(planted.VictimText(), "precious");
    EXPECT_FALSE(fs::is_symlink(planted.path));
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(planted.path, &text));
    EXPECT_EQ(text, "picture");

    // A dangling link would make a plain create write wherever it points.
    const std::string dangling = planted.shared + "/dangling";
    fs::create_symlink(planted.dir.file("made-elsewhere"), dangling);
    ASSERT_TRUE(platform::WriteFreshFile(dangling, "x"));
    EXPECT_FALSE(fs::exists(planted.dir.file("made-elsewhere")));

    // The settings' temporary file has a name anyone can guess.
    const std::string settings = planted.shared + "/settings.json";
    fs::create_symlink(planted.victim, settings + ".tmp." + std::to_string(::getpid()));
    ASSERT_TRUE(platform::WriteFileAtomic(settings, "{}"));
    EXPECT_EQ(planted.VictimText(), "precious");
    ASSERT_TRUE(platform::ReadWholeFile(settings, &text));
    EXPECT_EQ(text, "{}");
}

TEST(FilesTest, FreshFilesReplaceOldFilesButNoFolder) {
    zutest::TempDir dir;
    const std::string path = dir.file("clip.mp4");
    ASSERT_EQ(platform::WriteWholeFile(path, "old and long"), 12);
    ASSERT_TRUE(platform::WriteFreshFile(path, "new"));
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    EXPECT_EQ(text, "new");

    fs::create_directories(dir.file("folder/inside"));
    std::string error;
    EXPECT_EQ(platform::CreateFreshFile(dir.file("folder"), &error), -1);
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir.file("folder/inside")));
    EXPECT_FALSE(platform::WriteFreshFile(dir.file("no/such/dir/f"), "x"));

    // The descriptor's path reaches the file even after its name moved on.
    const int fd = platform::CreateFreshFile(dir.file("named"));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(platform::RenameFile(dir.file("named"), dir.file("renamed")));
    EXPECT_EQ(platform::WriteWholeFile(platform::DescriptorPath(fd), "via fd"), 6);
    platform::CloseDescriptor(fd);
    ASSERT_TRUE(platform::ReadWholeFile(dir.file("renamed"), &text));
    EXPECT_EQ(text, "via fd");
    EXPECT_FALSE(platform::FileExists(dir.file("named")));
}

TEST(FilesTest, ReadingFailsCleanly) {
    zutest::TempDir dir;
    std::string text = "unchanged";
    std::string error;
    EXPECT_FALSE(platform::ReadWholeFile(dir.file("nope"), &text, &error));
    EXPECT_EQ(text, "unchanged");
    EXPECT_NE(error.find("nope"), std::string::npos);
    EXPECT_FALSE(platform::ReadWholeFile(dir.path(), &text, &error));  // a folder
}

TEST(FilesTest, SmallHelpers) {
    zutest::TempDir dir;
    const std::string path = dir.file("f");
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_EQ(platform::FileSize(path), -1);
    EXPECT_EQ(platform::WriteWholeFile(path, "12345"), 5);
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_FALSE(platform::IsDirectory(path));
    EXPECT_TRUE(platform::IsDirectory(dir.path()));
    EXPECT_EQ(platform::FileSize(path), 5);
    EXPECT_EQ(platform::WriteWholeFile(dir.file("no/such/dir"), "x"), -1);
    EXPECT_TRUE(platform::RenameFile(path, dir.file("g")));
    EXPECT_FALSE(platform::RenameFile(path, dir.file("h")));
    EXPECT_TRUE(platform::RemoveFile(dir.file("g")));
    EXPECT_FALSE(platform::RemoveFile(dir.file("g")));
}

}  // namespace
