#include "hublet/log-sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "hublet/interface.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/log-output.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::string Padded(int line) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%-4d", line);
    return buf;
}

// Swaps the host's sink for one that writes only to `path` (no standard
// error), for tests that write a lot.
class QuietSink {
public:
    explicit QuietSink(const std::string& path) : sink_(path, false) {
        saved_ = CD->logSink;
        CD->logSink = &sink_;
    }
    ~QuietSink() { CD->logSink = saved_; }

private:
    bg::LogSink sink_;
    bg::LogSink* saved_;
};

TEST(LogLineTest, HouseFormat) {
    zutest::TestHost host;
    const int line = __LINE__ + 1;
    BG_LOGE("----> loaded modules count=%d", 3);
    ASSERT_EQ(host.lines().size(), 1u);
    const std::string text = host.lines()[0];
    const std::regex format(
        R"(^\d{4}-\d{2}:\d{2}:\d{2}\[E\]\[bg\] log-sink-test\.cpp \d+ *: "----> loaded modules count=3"\n$)");
    EXPECT_TRUE(std::regex_match(text, format)) << text;
    EXPECT_NE(text.find(" log-sink-test.cpp " + Padded(line) + ": \""), std::string::npos) << text;
    // The same line reaches the log file.
    std::string file;
    ASSERT_TRUE(platform::ReadWholeFile(host.logPath(), &file));
    EXPECT_EQ(file, text);
}

TEST(LogLineTest, LevelLettersAndMessagesAsWritten) {
    zutest::TestHost host;
    BG_LOGE("e");
    BG_LOGW("w");
    BG_LOGI("a \"quoted\" %s and 100%%", "word");
    BG_LOGD("d");
    const std::vector<std::string> lines = host.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("[E][bg] "), std::string::npos);
    EXPECT_NE(lines[1].find("[W][bg] "), std::string::npos);
    EXPECT_NE(lines[2].find("[I][bg] "), std::string::npos);
    EXPECT_NE(lines[2].find(": \"a \"quoted\" word and 100%\"\n"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("[D][bg] "), std::string::npos);
}

TEST(LogLineTest, ForeignTextCannotForgeALineOrSteerATerminal) {
    zutest::TestHost host;
    const std::string name = "Pixel\n0101-00:00:00[E][bg] forged.cpp 1   : \"x\"\r\x1b]0;t\x07\xff";
    BG_LOGI("device:[%s]\n", name.c_str());
    ASSERT_EQ(host.lines().size(), 1u);
    const std::string line = host.lines()[0];
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    EXPECT_NE(line.find("device:[Pixel\\n0101-00:00:00[E][bg] forged.cpp 1   : \"x\"\\r\\x1b]0;t"
                        "\\x07\\xff]\\n\"\n"),
              std::string::npos)
        << line;
    std::string file;
    ASSERT_TRUE(platform::ReadWholeFile(host.logPath(), &file));
    EXPECT_EQ(file, line);
}

TEST(LogLineTest, SourceBaseNameAfterLastSlashOrBackslash) {
    EXPECT_STREQ(bg::SourceBaseName("C:\\work\\ui\\main-window.cpp"), "main-window.cpp");
    EXPECT_STREQ(bg::SourceBaseName("/src/dep\\mixed/zucam.cpp"), "zucam.cpp");
    EXPECT_STREQ(bg::SourceBaseName("plain.cpp"), "plain.cpp");
    EXPECT_STREQ(bg::SourceBaseName("dir/"), "");
    EXPECT_STREQ(bg::SourceBaseName(nullptr), "");

    zutest::TestHost host;
    bg::LogLine(bg::kLogWarning, "C:\\work\\ui\\main-window.cpp", 123456, "x");
    ASSERT_EQ(host.lines().size(), 1u);
    EXPECT_NE(host.lines()[0].find("[W][bg] main-window.cpp 123456: \"x\"\n"), std::string::npos);
}

TEST(LogLineTest, LongMessagesAreWhole) {
    zutest::TestHost host;
    const std::string big(5000, 'z');
    BG_LOGI("%s|end", big.c_str());
    ASSERT_EQ(host.lines().size(), 1u);
    EXPECT_NE(host.lines()[0].find(big + "|end\"\n"), std::string::npos);
}

TEST(LogLineTest, NothingHappensWithoutHost) {
    bg::UninitBridge();
    ASSERT_EQ(CD, nullptr);
    BG_LOGE("no host %d", 1);  // must not crash
    SUCCEED();
}

TEST(LogSinkTest, LinesFromManyThreadsNeverInterleave) {
    zutest::TestHost host;
    zutest::TempDir dir;
    const std::string path = dir.file("threads.log");
    constexpr int kThreads = 8;
    constexpr int kLines = 1500;
    {
        QuietSink quiet(path);
        const std::string payload(300, 'p');
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &payload] {
                for (int i = 0; i < kLines; ++i)
                    BG_LOGI("thread %d line %d %s", t, i, payload.c_str());
            });
        }
        for (std::thread& th : threads)
            th.join();
    }
    const std::regex format(
        R"(^\d{4}-\d{2}:\d{2}:\d{2}\[I\]\[bg\] log-sink-test\.cpp \d+ *: "thread (\d) line (\d+) p{300}"$)");
    std::map<int, int> next;
    int total = 0;
    for (const std::string& line : ReadLines(path)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, format)) << line.substr(0, 200);
        const int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]) << "thread " << t << " lost or reordered a line";
        next[t] = std::stoi(m[2]) + 1;
        ++total;
    }
    EXPECT_EQ(total, kThreads * kLines);
}

TEST(LogSinkTest, RotatesAtTenMiBKeepingOnePreviousFile) {
    zutest::TempDir dir;
    const std::string path = dir.file("nested/dir/zucam.log");
    const std::string filler(1000, 'f');
    const int kLines = 26 * 1024;  // about 26 MiB: rotates twice
    {
        bg::LogSink sink(path, false);
        for (int i = 0; i < kLines; ++i)
            sink.write(bg::kLogInfo, std::to_string(i) + " " + filler + "\n");
    }
    EXPECT_TRUE(platform::FileExists(path + ".1"));
    EXPECT_FALSE(platform::FileExists(path + ".2"));
    EXPECT_LE(platform::FileSize(path), bg::LogSink::kRotateBytes);
    EXPECT_LE(platform::FileSize(path + ".1"), bg::LogSink::kRotateBytes);
    EXPECT_GT(platform::FileSize(path + ".1"), bg::LogSink::kRotateBytes - 2000);
    // The two files hold the newest lines, whole and in order, with no gap.
    std::vector<std::string> lines = ReadLines(path + ".1");
    const std::vector<std::string> current = ReadLines(path);
    lines.insert(lines.end(), current.begin(), current.end());
    ASSERT_FALSE(lines.empty());
    const int first = std::stoi(lines.front());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], std::to_string(first + static_cast<int>(i)) + " " + filler);
    }
    EXPECT_EQ(first + static_cast<int>(lines.size()), kLines);
}

TEST(LogSinkTest, CountsWhatAnEarlierRunLeftInTheFile) {
    zutest::TempDir dir;
    const std::string path = dir.file("zucam.log");
    const std::string line(1023, 'x');
    {
        bg::LogSink sink(path, false);
        for (int i = 0; i < 10 * 1024 - 5; ++i)
            sink.write(bg::kLogInfo, line + "\n");
    }
    EXPECT_FALSE(platform::FileExists(path + ".1"));
    bg::LogSink reopened(path, false);
    for (int i = 0; i < 10; ++i)
        reopened.write(bg::kLogInfo, line + "\n");
    EXPECT_TRUE(platform::FileExists(path + ".1"));
    EXPECT_LT(platform::FileSize(path), 20 * 1024);
}

std::filesystem::perms Rights(const std::string& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
}

TEST(LogSinkTest, LogFilesArePrivateToTheUser) {
    using std::filesystem::perms;
    zutest::TempDir dir;
    const std::string fresh = dir.file("fresh/zucam.log");
    const std::string older = dir.file("older.log");
    ASSERT_GT(platform::WriteWholeFile(older, "from an earlier version\n"), 0);
    std::filesystem::permissions(
        older, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
    {
        bg::LogSink a(fresh, false);
        bg::LogSink b(older, false);
        a.write(bg::kLogInfo, "x\n");
    }
    EXPECT_EQ(Rights(fresh), perms::owner_read | perms::owner_write);
    EXPECT_EQ(Rights(older), perms::owner_read | perms::owner_write);
    // The file that replaces a rotated one too.
    {
        bg::LogSink sink(fresh, false);
        const std::string big(1024 * 1024, 'b');
        for (int i = 0; i < 11; ++i)
            sink.write(bg::kLogInfo, big + "\n");
    }
    ASSERT_TRUE(platform::FileExists(fresh + ".1"));
    EXPECT_EQ(Rights(fresh), perms::owner_read | perms::owner_write);
}

// Runs in a child process: standard error does not come back.
void DivertAndPrint(const std::string& path) {
    bg::LogSink sink(path, true);
    if (!sink.divertStandardError())
        std::exit(3);
    std::fprintf(stderr, "a debug print\n");
    sink.write(bg::kLogInfo, "a log line\n");
    platform::WriteTerminal("for the terminal\n");
    std::exit(0);
}

TEST(LogSinkDeathTest, DivertedStandardErrorGoesToTheLogAndTheTerminalStaysFree) {
    zutest::TempDir dir;
    const std::string path = dir.file("zucam.log");
    // The death test's matcher reads what reached the terminal.
    EXPECT_EXIT(DivertAndPrint(path), ::testing::ExitedWithCode(0), "^for the terminal\n$");
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(path, &text));
    EXPECT_EQ(text, "a debug print\na log line\n");
}

long long LogFolderBytes(const std::string& path) {
    long long total = 0;
    for (const std::string& file : {path, path + ".1"})
        total += std::max(platform::FileSize(file), 0LL);
    return total;
}

// Runs in a child process: prints far more than the rotation size to the
// diverted standard error, from this process and from a child process, and
// never through the sink; exits 0 when the folder stayed bounded and the
// last print came through.
void FloodDivertedStandardError(const std::string& path) {
    bg::LogSink sink(path, true);
    if (!sink.divertStandardError())
        std::exit(3);
    const std::string chunk(64 * 1024 - 1, 'p');
    for (int i = 0; i < 200; ++i)  // 12.5 MiB
        std::fprintf(stderr, "%s\n", chunk.c_str());
    platform::ChildProcess printer;
    platform::ChildProcess::Options options;
    options.argv = {"sh", "-c", "yes child | head -c 13000000 >&2; echo child-done >&2"};
    if (!printer.start(options) || printer.wait(60000) != 0)
        std::exit(4);
    std::fprintf(stderr, "last print\n");
    sink.write(bg::kLogInfo, "a log line\n");
    std::string text;
    platform::ReadWholeFile(path, &text);
    const bool ordered = text.find("child-done\nlast print\na log line\n") != std::string::npos;
    const bool bounded = LogFolderBytes(path) <= 2 * bg::LogSink::kRotateBytes + 65536;
    std::exit(ordered && bounded && platform::FileExists(path + ".1") ? 0 : 5);
}

TEST(LogSinkDeathTest, PrintsToADivertedStandardErrorCountTowardsTheRotation) {
    zutest::TempDir dir;
    const std::string path = dir.file("zucam.log");
    EXPECT_EXIT(FloodDivertedStandardError(path), ::testing::ExitedWithCode(0), "");
    EXPECT_LE(LogFolderBytes(path), 2 * bg::LogSink::kRotateBytes + 65536);
}

TEST(LogSinkTest, ObserverSeesEveryLine) {
    zutest::TempDir dir;
    bg::LogSink sink(dir.file("o.log"), false);
    std::vector<std::pair<int, std::string>> seen;
    sink.setObserver([&seen](int level, const std::string& l) { seen.emplace_back(level, l); });
    sink.write(bg::kLogWarning, "one\n");
    sink.log(bg::kLogError, "bg", "two %d\n", 2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(static_cast<int>(bg::kLogWarning), std::string("one\n")));
    EXPECT_EQ(seen[1], std::make_pair(static_cast<int>(bg::kLogError), std::string("two 2\n")));
}

}  // namespace
