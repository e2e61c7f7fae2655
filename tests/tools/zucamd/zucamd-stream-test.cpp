// zucamd end to end: a simulated phone streams a 1280x720 pattern to zucamd,
// zucam-camera reads the camera queue, and every picture read must be
// bit-identical to what FFmpeg decodes from the very access units sent.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

constexpr int kWidth = 1280;

// Every test program has a camera queue of its own (see tests/support).
std::string QueueFile() {
    return "/dev/shm" + platform::GetEnv("ZUCAM_CAMERA_QUEUE");
}
constexpr int kHeight = 720;

class ZucamdStreamTest : public ::testing::TestWithParam<bool> {};

TEST_P(ZucamdStreamTest, CameraPicturesMatchTheSentStreamAndScreenshotsWork) {
    const bool udp = GetParam();
    zutest::TempDir dir;
    platform::ChildProcess zucamd;
    ASSERT_TRUE(e2e::Start(
        &zucamd, dir, "zucamd",
        {e2e::Bin("zucamd"), "--port", "10080", "--no-announce", "--save-dir", dir.path()}));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir), "serving Wi-Fi phones", 15000))
        << e2e::ReadText(e2e::ZucamdLog(dir));

    platform::ChildProcess camera;
    ASSERT_TRUE(e2e::Start(
        &camera, dir, "camera",
        {e2e::Bin("zucam-camera"), "--y4m", dir.file("camera.y4m"), "--timeout", "4", "--stats"}));

    std::vector<std::string> phoneArgs = {e2e::Bin("zucam-phone-sim"),
                                          "--port",
                                          "10080",
                                          "--pattern",
                                          "1280x720@30",
                                          "--duration",
                                          "5",
                                          "--save-video",
                                          dir.file("sent.h264"),
                                          "--command",
                                          "screenshot@2.5"};
    if (udp)
        phoneArgs.push_back("--udp");
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir, "phone", phoneArgs));
    ASSERT_EQ(phone.wait(60000), 0) << e2e::ReadText(dir.file("phone.err"));

    int cameraExit = camera.wait(30000);
    EXPECT_TRUE(cameraExit == 0 || cameraExit == 4) << e2e::ReadText(dir.file("camera.err"));

    // The reference: FFmpeg's own decoding of the bytes the phone sent.
    std::string out;
    ASSERT_EQ(platform::RunProcess({"ffmpeg", "-v", "error", "-i", dir.file("sent.h264"), "-f",
                                    "rawvideo", "-pix_fmt", "yuv420p", dir.file("ref.yuv")},
                                   120000, &out),
              0);
    std::map<int, std::string> reference;
    for (const e2e::Picture& p : e2e::ReadRawI420(dir.file("ref.yuv"), kWidth, kHeight)) {
        int index = e2e::PatternIndex(p);
        if (index >= 0)
            reference[index] = p.bytes;
    }
    ASSERT_GE(reference.size(), 140u);

    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir.file("camera.y4m"), &pictures, &error)) << error;
    // The reader may miss a picture now and then; it must never emit a wrong one.
    EXPECT_GE(pictures.size(), 100u);
    int compared = 0;
    for (const e2e::Picture& p : pictures) {
        ASSERT_EQ(p.width, kWidth);
        ASSERT_EQ(p.height, kHeight);
        int index = e2e::PatternIndex(p);
        ASSERT_GE(index, 0) << "picture without a clean frame number";
        auto ref = reference.find(index);
        ASSERT_NE(ref, reference.end()) << "frame " << index << " was never sent";
        EXPECT_TRUE(ref->second == p.bytes) << "frame " << index << " differs from FFmpeg's";
        ++compared;
    }
    EXPECT_GE(compared, 100);

    std::vector<std::string> shots = e2e::FilesStartingWith(dir.path(), "ZuCam_shot[");
    ASSERT_EQ(shots.size(), 1u) << e2e::ReadText(e2e::ZucamdLog(dir));
    QImage shot(QString::fromStdString(shots[0]));
    EXPECT_EQ(shot.width(), kWidth);
    EXPECT_EQ(shot.height(), kHeight);
    EXPECT_TRUE(e2e::FilesStartingWith(dir.path(), "ZuCam_shot[").size() == 1);

    ASSERT_TRUE(zucamd.signal(false));
    EXPECT_EQ(zucamd.wait(15000), 0) << e2e::ReadText(e2e::ZucamdLog(dir));
    EXPECT_FALSE(platform::FileExists(QueueFile()));

    // The terminal: one line per event, nothing meant for developers.
    const std::string terminal = e2e::ReadText(dir.file("zucamd.out"));
    for (const std::string& line :
         {std::string("zucamd: listening on 127.0.0.1:10080 as \""),
          std::string("zucamd: next: open the ZuCam app"),
          std::string("zucamd: phone \"zucam-phone-sim\" connected (") + (udp ? "Zup2p)" : "TCP)"),
          std::string("zucamd: first picture 1280x720, the camera is live"),
          std::string("zucamd: screenshot saved: "),
          std::string("zucamd: phone gone; its last picture stays for 5 s")}) {
        EXPECT_EQ(e2e::CountOf(terminal, line), 1) << line << "\n" << terminal;
    }
    EXPECT_NE(terminal.find(std::filesystem::path(shots[0]).filename().string() + "\n"),
              std::string::npos);
    EXPECT_EQ(e2e::ReadText(dir.file("zucamd.err")), "");
}

INSTANTIATE_TEST_SUITE_P(Transports, ZucamdStreamTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Zup2p") : std::string("Tcp");
                         });

TEST(ZucamdTest, SecondInstanceIsRefusedTheCameraAndThePortWithOneLineEach) {
    zutest::TempDir dir;
    platform::ChildProcess first;
    ASSERT_TRUE(
        e2e::Start(&first, dir, "first", {e2e::Bin("zucamd"), "--port", "10080", "--no-announce"}));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir), "serving Wi-Fi phones", 15000));
    // The camera belongs to the first one.
    platform::ChildProcess second;
    ASSERT_TRUE(e2e::Start(&second, dir, "second",
                           {e2e::Bin("zucamd"), "--port", "10081", "--no-announce"}));
    EXPECT_EQ(second.wait(15000), 1);
    EXPECT_EQ(e2e::ReadText(dir.file("second.err")),
              "zucamd: the camera is already fed by another ZuCam or zucamd; stop it first, or "
              "run with --no-camera to serve a phone without the camera\n");
    // Without the camera it gets as far as the port, which is taken too.
    platform::ChildProcess third;
    ASSERT_TRUE(
        e2e::Start(&third, dir, "third",
                   {e2e::Bin("zucamd"), "--port", "10080", "--no-announce", "--no-camera"}));
    EXPECT_EQ(third.wait(15000), 1);
    EXPECT_EQ(e2e::ReadText(dir.file("third.err")),
              "zucamd: port 10080 is in use (another zucamd or ZuCam?); stop it or try --port N\n");
    // The log keeps the program's own text.
    EXPECT_TRUE(
        e2e::WaitForText(e2e::ZucamdLog(dir), "无法启动媒体传输服务，由于10080端口被占用", 5000));
    // The first one keeps the camera queue.
    EXPECT_TRUE(platform::FileExists(QueueFile()));
    ASSERT_TRUE(first.interrupt());
    EXPECT_EQ(first.wait(15000), 0);
    EXPECT_FALSE(platform::FileExists(QueueFile()));
}

TEST(ZucamdTest, SaveFolderItCannotWriteIsRefusedAtStart) {
    zutest::TempDir dir;
    platform::ChildProcess zucamd;
    ASSERT_TRUE(
        e2e::Start(&zucamd, dir, "zucamd",
                   {e2e::Bin("zucamd"), "--no-announce", "--save-dir", dir.file("missing")}));
    EXPECT_EQ(zucamd.wait(15000), 2);
    EXPECT_EQ(e2e::ReadText(dir.file("zucamd.err")),
              "zucamd: cannot save screenshots and recordings in " + dir.file("missing") +
                  " (no such folder); give a folder you can write to with --save-dir DIR\n");
    EXPECT_FALSE(platform::FileExists(QueueFile()));
}

TEST(ZucamdTest, ScreenshotWithoutPictureIsRefusedAndLogged) {
    zutest::TempDir dir;
    platform::ChildProcess zucamd;
    ASSERT_TRUE(e2e::Start(
        &zucamd, dir, "zucamd",
        {e2e::Bin("zucamd"), "--port", "10080", "--no-announce", "--save-dir", dir.path()}));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir), "serving Wi-Fi phones", 15000));
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir, "phone",
                           {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--no-play",
                            "--command", "screenshot", "--command", "record-start"}));
    EXPECT_EQ(phone.wait(30000), 0) << e2e::ReadText(dir.file("phone.err"));
    EXPECT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir), "未接收到图像数据，截图失败！", 5000));
    EXPECT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir), "无法开启录制！", 5000));
    EXPECT_TRUE(e2e::FilesStartingWith(dir.path(), "ZuCam_").empty());
    ASSERT_TRUE(zucamd.signal(false));
    EXPECT_EQ(zucamd.wait(15000), 0);
}

TEST(ZucamdTest, BadCommandLinesAreRefused) {
    std::string out;
    EXPECT_EQ(platform::RunProcess({e2e::Bin("zucamd"), "--port", "0"}, 10000, &out), 2);
    EXPECT_EQ(platform::RunProcess({e2e::Bin("zucamd"), "--bogus"}, 10000, &out), 2);
    EXPECT_EQ(platform::RunProcess({e2e::Bin("zucamd"), "--help"}, 10000, &out), 0);
    EXPECT_NE(out.find("--save-dir"), std::string::npos);
    out.clear();
    EXPECT_EQ(platform::RunProcess({e2e::Bin("zucamd"), "--version"}, 10000, &out), 0);
    EXPECT_EQ(out, "zucamd 1.0.7 (ZuCam)\n");
}

}  // namespace
