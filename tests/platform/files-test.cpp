#include "platform/files.h"

#include <gtest/gtest.h>

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
