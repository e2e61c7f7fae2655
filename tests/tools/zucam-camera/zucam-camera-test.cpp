// The real zucam-camera program against a camera queue this test writes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "devices/virtual-camera-queue.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared-memory.h"
#include "tests/support/camera-queue-reset.h"
#include "tests/support/temp-dir.h"

namespace {

constexpr uint32_t kCapacity = VirtualCameraQueue::kSlotCapacity;

// An even-sized I420 picture of noise; its Y4M frame body is the three
// planes one after another.
struct Picture {
    int width;
    int height;
    std::vector<uint8_t> y, u, v;

    Picture(int w, int h, unsigned seed) : width(w), height(h) {
        std::mt19937 random(seed);
        auto fill = [&](std::vector<uint8_t>& plane, size_t size) {
            plane.resize(size);
            for (uint8_t& b : plane)
                b = static_cast<uint8_t>(random());
        };
        fill(y, size_t(w) * h);
        fill(u, size_t(w / 2) * (h / 2));
        fill(v, size_t(w / 2) * (h / 2));
    }
    bool writeTo(VirtualCameraQueue& queue) const {
        const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
        const int lineSizes[3] = {width, width / 2, width / 2};
        return queue.writeFrame(planes, lineSizes, width, height) != nullptr;
    }
    std::string frameBody() const {
        std::string body(y.begin(), y.end());
        body.append(u.begin(), u.end());
        body.append(v.begin(), v.end());
        return body;
    }
};

struct Y4m {
    bool valid = false;
    std::string header;
    int width = 0;
    int height = 0;
    std::vector<std::string> frames;
};

// Parses a whole YUV4MPEG2 stream; anything malformed or cut short is invalid.
Y4m ParseY4m(const std::string& data) {
    Y4m y4m;
    size_t eol = data.find('\n');
    if (eol == std::string::npos || data.compare(0, 10, "YUV4MPEG2 ") != 0)
        return y4m;
    y4m.header = data.substr(0, eol);
    size_t pos = 10;
    while (pos < eol) {
        size_t end = y4m.header.find(' ', pos);
        if (end == std::string::npos)
            end = eol;
        std::string token = y4m.header.substr(pos, end - pos);
        if (token[0] == 'W')
            y4m.width = std::stoi(token.substr(1));
        if (token[0] == 'H')
            y4m.height = std::stoi(token.substr(1));
        pos = end + 1;
    }
    if (y4m.width < 1 || y4m.height < 1)
        return y4m;
    size_t frameBytes =
        size_t(y4m.width) * y4m.height + 2 * size_t((y4m.width + 1) / 2) * ((y4m.height + 1) / 2);
    pos = eol + 1;
    while (pos < data.size()) {
        size_t lineEnd = data.find('\n', pos);
        if (lineEnd == std::string::npos || data.compare(pos, 5, "FRAME") != 0)
            return y4m;
        if (data.size() - (lineEnd + 1) < frameBytes)
            return y4m;
        y4m.frames.push_back(data.substr(lineEnd + 1, frameBytes));
        pos = lineEnd + 1 + frameBytes;
    }
    y4m.valid = true;
    return y4m;
}

size_t StreamSize(int w, int h, int frames) {
    std::string header =
        "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F30:1 Ip A1:1 C420jpeg\n";
    return header.size() + size_t(frames) * (6 + size_t(w) * h * 3 / 2);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Read(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

class ZuCamCameraTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(zutest::RemoveStaleCameraQueue()); }

    std::string out() const { return dir_.file("out.y4m"); }
    std::string errText() const { return Read(dir_.file("stderr")); }

    bool start(std::vector<std::string> args) {
        args.insert(args.begin(), platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera");
        platform::ChildProcess::Options options;
        options.argv = args;
        options.stdoutPath = dir_.file("stdout");
        options.stderrPath = dir_.file("stderr");
        return tool_.start(options);
    }
    bool waitForErr(const std::string& text, int timeoutMs = 10000) {
        return WaitUntil([&] { return errText().find(text) != std::string::npos; }, timeoutMs);
    }
    bool waitForOutput(size_t bytes, int timeoutMs = 10000) {
        return WaitUntil([&] { return platform::FileSize(out()) >= (long long)bytes; }, timeoutMs);
    }
    // Starts the tool on an existing queue and waits until it reads it.
    void startReading(std::vector<std::string> args) {
        ASSERT_TRUE(start(std::move(args)));
        ASSERT_TRUE(waitForErr("reading the camera queue")) << errText();
    }

    zutest::TempDir dir_;
    platform::ChildProcess tool_;
};

TEST_F(ZuCamCameraTest, PicturesComeOutBitIdenticalAsYuv4Mpeg2) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    std::vector<Picture> pictures = {{64, 48, 1}, {64, 48, 2}, {64, 48, 3}};
    startReading({"--y4m", out(), "--frames", "3", "--timeout", "20"});
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_TRUE(pictures[i].writeTo(*queue));
        // One picture at a time, so none is skipped.
        ASSERT_TRUE(waitForOutput(StreamSize(64, 48, int(i) + 1))) << errText();
    }
    ASSERT_EQ(tool_.wait(10000), 0) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    ASSERT_TRUE(y4m.valid);
    EXPECT_EQ(y4m.header, "YUV4MPEG2 W64 H48 F30:1 Ip A1:1 C420jpeg");
    ASSERT_EQ(y4m.frames.size(), 3u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_TRUE(y4m.frames[i] == pictures[i].frameBody()) << "picture " << i;
    }
}

TEST_F(ZuCamCameraTest, StandardOutputStreamWithStats) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    Picture a(32, 16, 7), b(32, 16, 8);
    startReading({"--y4m", "-", "--frames", "2", "--stats", "--fps", "25"});
    ASSERT_TRUE(a.writeTo(*queue));
    ASSERT_TRUE(WaitUntil([&] { return Read(dir_.file("stdout")).size() > 32 * 16; }, 10000));
    ASSERT_TRUE(b.writeTo(*queue));
    ASSERT_EQ(tool_.wait(10000), 0) << errText();
    Y4m y4m = ParseY4m(Read(dir_.file("stdout")));
    ASSERT_TRUE(y4m.valid);
    EXPECT_NE(y4m.header.find(" F25:1 "), std::string::npos);
    ASSERT_EQ(y4m.frames.size(), 2u);
    EXPECT_TRUE(y4m.frames[1] == b.frameBody());
    EXPECT_NE(errText().find("2 pictures, 0 dropped"), std::string::npos) << errText();
}

TEST_F(ZuCamCameraTest, NotRunningIsSaidAtOnce) {
    ASSERT_TRUE(start({"--y4m", out()}));
    EXPECT_EQ(tool_.wait(5000), 3);
    EXPECT_NE(errText().find("ZuCam is not running"), std::string::npos) << errText();
    EXPECT_NE(errText().find("--timeout"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(out())) << "no output without a camera";
}

TEST_F(ZuCamCameraTest, NotRunningAfterWaitingTheTimeout) {
    auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(start({"--y4m", out(), "--timeout", "0.5"}));
    EXPECT_EQ(tool_.wait(10000), 3);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(450));
    EXPECT_NE(errText().find("ZuCam is not running"), std::string::npos) << errText();
}

TEST_F(ZuCamCameraTest, WaitsForZuCamToStartWithinTheTimeout) {
    ASSERT_TRUE(start({"--y4m", out(), "--timeout", "10", "--frames", "1"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    ASSERT_TRUE(waitForErr("reading the camera queue")) << errText();
    Picture picture(16, 16, 3);
    ASSERT_TRUE(picture.writeTo(*queue));
    ASSERT_EQ(tool_.wait(10000), 0) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    ASSERT_TRUE(y4m.valid);
    ASSERT_EQ(y4m.frames.size(), 1u);
    EXPECT_TRUE(y4m.frames[0] == picture.frameBody());
}

TEST_F(ZuCamCameraTest, GivesUpWhenNoNewPictureArrives) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    // A picture from before the tool started is old, not new.
    ASSERT_TRUE(Picture(16, 16, 1).writeTo(*queue));
    startReading({"--y4m", out(), "--timeout", "0.5"});
    EXPECT_EQ(tool_.wait(10000), 4);
    EXPECT_NE(errText().find("no new picture for 0.5 seconds"), std::string::npos) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    EXPECT_TRUE(y4m.frames.empty());
}

TEST_F(ZuCamCameraTest, SizeChangeEndsTheStreamBeforeTheNewPicture) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    Picture landscape(64, 36, 1), portrait(36, 64, 2);
    startReading({"--y4m", out(), "--frames", "5", "--timeout", "20"});
    ASSERT_TRUE(landscape.writeTo(*queue));
    ASSERT_TRUE(waitForOutput(StreamSize(64, 36, 1))) << errText();
    ASSERT_TRUE(portrait.writeTo(*queue));
    EXPECT_EQ(tool_.wait(10000), 5);
    EXPECT_NE(errText().find("size changed from 64x36 to 36x64"), std::string::npos) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    ASSERT_TRUE(y4m.valid) << "the stream must end on a whole frame";
    ASSERT_EQ(y4m.frames.size(), 1u);
    EXPECT_TRUE(y4m.frames[0] == landscape.frameBody());
}

TEST_F(ZuCamCameraTest, LappedCopyIsDroppedAndNeverWritten) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    // Big enough that half a picture of one and half of another would be
    // told apart anywhere.
    std::vector<Picture> pictures = {
        {320, 240, 11}, {320, 240, 12}, {320, 240, 13}, {320, 240, 14}};
    startReading({"--y4m", out(), "--frames", "1", "--stats", "--pause-during-copy", "400",
                  "--timeout", "20"});
    ASSERT_TRUE(pictures[0].writeTo(*queue));
    ASSERT_TRUE(waitForErr("in the copy of picture 1")) << errText();
    // While the tool sits in the middle of copying slot 1, ZuCam moves on
    // and picture 4 rewrites that very slot.
    for (int i = 1; i < 4; ++i)
        ASSERT_TRUE(pictures[i].writeTo(*queue));
    ASSERT_EQ(tool_.wait(10000), 0) << errText();
    EXPECT_NE(errText().find("in the copy of picture 4"), std::string::npos) << errText();
    EXPECT_NE(errText().find("1 pictures, 1 dropped (torn copies), 0 invalid, 2 skipped"),
              std::string::npos)
        << errText();
    Y4m y4m = ParseY4m(Read(out()));
    ASSERT_TRUE(y4m.valid);
    ASSERT_EQ(y4m.frames.size(), 1u);
    EXPECT_TRUE(y4m.frames[0] == pictures[3].frameBody()) << "only the whole picture 4 is kept";
}

TEST_F(ZuCamCameraTest, ClosedPipeEndsTheToolWithoutASignal) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    // The tool's own exit status is kept in a file; `head` closes the pipe
    // after a few bytes.
    std::string status = dir_.file("status");
    std::string script =
        "{ \"$0\" --y4m - --timeout 20; echo $? > \"$1\"; } | head -c 100 "
        ">/dev/null";
    platform::ChildProcess::Options options;
    options.argv = {"sh", "-c", script, platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera",
                    status};
    options.stderrPath = dir_.file("stderr");
    ASSERT_TRUE(tool_.start(options));
    ASSERT_TRUE(waitForErr("reading the camera queue")) << errText();
    Picture picture(64, 48, 5);
    bool ended = WaitUntil(
        [&] {
            picture.writeTo(*queue);
            return platform::FileExists(status) && !Read(status).empty();
        },
        10000);
    ASSERT_TRUE(ended) << errText();
    EXPECT_EQ(tool_.wait(5000), 0);
    EXPECT_EQ(Read(status), "6\n") << errText();
    EXPECT_NE(errText().find("reading end of the output was closed"), std::string::npos)
        << errText();
}

TEST_F(ZuCamCameraTest, FollowsZuCamThroughARestart) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    Picture before(32, 32, 1), after(32, 32, 2);
    startReading({"--y4m", out(), "--frames", "2", "--timeout", "20"});
    ASSERT_TRUE(before.writeTo(*queue));
    ASSERT_TRUE(waitForOutput(StreamSize(32, 32, 1))) << errText();
    queue->close();
    ASSERT_TRUE(waitForErr("ZuCam closed the camera queue")) << errText();
    queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    ASSERT_TRUE(waitForErr("ZuCam is back")) << errText();
    ASSERT_TRUE(after.writeTo(*queue));
    ASSERT_EQ(tool_.wait(10000), 0) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    ASSERT_TRUE(y4m.valid);
    ASSERT_EQ(y4m.frames.size(), 2u);
    EXPECT_TRUE(y4m.frames[1] == after.frameBody());
}

// Anyone who may write the queue may also shrink it under the reader; the
// reader must take that as ZuCam going away, not die of SIGBUS.
TEST_F(ZuCamCameraTest, AQueueCutShortUnderTheReaderIsAWriterThatWentAway) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    const std::string shm = "/dev/shm" + VirtualCameraQueue::Name();
    const auto fullSize = std::filesystem::file_size(shm);
    startReading({"--y4m", out(), "--timeout", "20"});
    ASSERT_TRUE(Picture(32, 32, 1).writeTo(*queue));
    ASSERT_TRUE(waitForOutput(StreamSize(32, 32, 1))) << errText();

    std::filesystem::resize_file(shm, 0);
    ASSERT_TRUE(waitForErr("ZuCam closed the camera queue")) << errText();
    EXPECT_TRUE(tool_.running()) << errText();
    ASSERT_TRUE(tool_.signal(false));
    EXPECT_EQ(tool_.wait(5000), 0) << errText();
    Y4m y4m = ParseY4m(Read(out()));
    EXPECT_TRUE(y4m.valid);
    EXPECT_EQ(y4m.frames.size(), 1u);
    // This process's own mapping is not guarded: whole again before the
    // writer marks the queue stopped on closing.
    std::filesystem::resize_file(shm, fullSize);
}

// A queue someone else made (here: root's, opened up for everybody to read)
// may carry that user's pictures, or pictures made up to pass for this
// user's phone: another user's zucam-camera refuses it.
TEST_F(ZuCamCameraTest, AnotherUsersQueueIsRefused) {
    if (platform::UserId() != 0 || !platform::FileExists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to act as a second user";
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    const std::string shm = "/dev/shm" + VirtualCameraQueue::Name();
    std::filesystem::permissions(
        shm, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                 std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    ASSERT_TRUE(Picture(16, 16, 1).writeTo(*queue));
    platform::ChildProcess::Options options;
    options.argv = {"/usr/bin/setpriv",
                    "--reuid=65534",
                    "--regid=65534",
                    "--clear-groups",
                    "--",
                    platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera",
                    "--y4m",
                    "-",
                    "--frames",
                    "1",
                    "--timeout",
                    "5"};
    options.stdoutPath = dir_.file("stdout");
    options.stderrPath = dir_.file("stderr");
    ASSERT_TRUE(tool_.start(options));
    ASSERT_TRUE(waitForErr("cannot read the camera queue")) << errText();
    ASSERT_TRUE(Picture(16, 16, 2).writeTo(*queue));
    EXPECT_EQ(tool_.wait(10000), 7) << errText();
    EXPECT_NE(errText().find("belongs to another user"), std::string::npos) << errText();
    EXPECT_TRUE(Read(dir_.file("stdout")).empty()) << "no picture of another user is passed on";
}

TEST_F(ZuCamCameraTest, StopSignalEndsCleanlyWithStats) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    startReading({"--y4m", out(), "--stats"});
    ASSERT_TRUE(Picture(16, 16, 1).writeTo(*queue));
    ASSERT_TRUE(waitForOutput(StreamSize(16, 16, 1))) << errText();
    ASSERT_TRUE(tool_.signal(false));
    EXPECT_EQ(tool_.wait(5000), 0) << errText();
    EXPECT_NE(errText().find("1 pictures"), std::string::npos) << errText();
    EXPECT_TRUE(ParseY4m(Read(out())).valid);
}

TEST_F(ZuCamCameraTest, CommandLineMistakesAndHelp) {
    std::string text;
    EXPECT_EQ(platform::RunProcess({platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera", "--y4m"},
                                   5000, nullptr, &text),
              2);
    EXPECT_NE(text.find("--y4m needs a value"), std::string::npos) << text;
    EXPECT_EQ(platform::RunProcess({platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera", "--y4m",
                                    "-", "--frames", "none"},
                                   5000, nullptr, &text),
              2);
    EXPECT_EQ(platform::RunProcess({platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam-camera", "--help"},
                                   5000, &text),
              0);
    EXPECT_NE(text.find("Exit codes"), std::string::npos) << text;
}

}  // namespace
