// ZuCam as a person meets it: the real zucam on an X server of its own,
// a simulated phone streaming its pattern over TCP or Zup2p, the window
// captured, clicked and covered from outside, the camera read back through
// zucam-camera.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "tests/tools/zucam-window/x-display.h"
#include "tests/tools/zucam-window/zucam-window-fixture.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace zwtest {
namespace {

// The close button sits in the title bar's top right corner: right margin
// 30 and a button 18 wide, in a title bar 66 high, inside a 1 pixel frame;
// the style sizes grow with the scale factor, the layout margins do not.
bool ClickCloseButton(const std::string& window, const xdisplay::Geometry& g) {
    const double scale = g.width / 900.0;
    return xdisplay::Click(window, g.width - 1 - 30 - static_cast<int>(9 * scale),
                           1 + static_cast<int>(33 * scale));
}

// "确定" is the one filled blue (#6BA7FF) button of the question; the blue of
// "取消" is only its outline and text. Finds the first 8x8 block of that blue,
// capturing again until the box has painted (a mapped window may still be
// empty), and clicks it.
bool FindOk(const QImage& shot, int* x, int* y) {
    auto isBlue = [&](int px, int py) {
        const QColor c = shot.pixelColor(px, py);
        return std::abs(c.red() - 0x6B) < 8 && std::abs(c.green() - 0xA7) < 8 &&
               std::abs(c.blue() - 0xFF) < 8;
    };
    for (*y = 0; *y + 8 <= shot.height(); ++*y) {
        for (*x = 0; *x + 8 <= shot.width(); ++*x) {
            bool solid = true;
            for (int dy = 0; dy < 8 && solid; ++dy) {
                for (int dx = 0; dx < 8 && solid; ++dx)
                    solid = isBlue(*x + dx, *y + dy);
            }
            if (solid)
                return true;
        }
    }
    return false;
}

bool ClickOk(const std::string& question, const std::string& capturePath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        int x = 0;
        int y = 0;
        if (FindOk(xdisplay::Capture(question, capturePath), &x, &y))
            return xdisplay::Click(question, x + 4, y + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

struct Case {
    const char* name;
    bool udp;
    bool hardwareRender;
};

class ZucamWindowTest : public ZucamProgramTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ZucamWindowTest, ShowsThePhoneFeedsTheCameraRaisesOnSecondStartAndClosesCleanly) {
    const Case c = GetParam();
    hardwareRender_ = c.hardwareRender;
    WriteSettings(c.hardwareRender);
    platform::ChildProcess zucam;
    ASSERT_TRUE(StartZucam(&zucam, "zucam"));
    std::string window;
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam.pid(), kStartMs, &window)) << Diagnostics();
    // Before a phone: the waiting page, nothing of the pattern's red.
    QImage waiting = xdisplay::Capture(window, dir_.file("waiting.png"));
    ASSERT_FALSE(waiting.isNull());
    EXPECT_LT(CountBands(waiting).red * 500, static_cast<long>(waiting.width()) * waiting.height());

    ASSERT_TRUE(WaitForListening(10080, kStartMs)) << Diagnostics();
    platform::ChildProcess camera;
    ASSERT_TRUE(e2e::Start(&camera, dir_, "camera",
                           {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--frames",
                            "30", "--timeout", "60"}));
    std::vector<std::string> phoneArgs = {e2e::Bin("zucam-phone-sim"),
                                          "--port",
                                          "10080",
                                          "--pattern",
                                          "1280x720@30",
                                          "--duration",
                                          "120"};
    if (c.udp)
        phoneArgs.push_back("--udp");
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir_, "phone", phoneArgs));

    EXPECT_TRUE(WaitForPattern(window, kPictureMs))
        << "the window never showed the pattern; last capture: " << dir_.file("window.png")
        << Diagnostics() << e2e::ReadText(dir_.file("phone.err"));

    ExpectRecordButtonStaysPut(window);

    // Drawing in software needs no OpenGL driver (Mesa's weighs some 50 MB):
    // none is loaded, not even for the windows.
    if (!c.hardwareRender) {
        std::string maps;
        ASSERT_TRUE(
            platform::ReadWholeFile("/proc/" + std::to_string(zucam.pid()) + "/maps", &maps));
        EXPECT_EQ(maps.find("_dri.so"), std::string::npos) << "an OpenGL driver is loaded";
    }

    // The camera: pictures of the phone, whole, numbered by the pattern.
    ASSERT_EQ(camera.wait(kPictureMs), 0) << e2e::ReadText(dir_.file("camera.err"));
    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    ASSERT_EQ(pictures.size(), 30u);
    int last = -1;
    for (const e2e::Picture& p : pictures) {
        EXPECT_EQ(p.width, 1280);
        EXPECT_EQ(p.height, 720);
        const int index = e2e::PatternIndex(p);
        EXPECT_GT(index, last) << "pictures out of order or not the pattern";
        last = index;
    }

    // A second start hands over to the running one: it exits 0 and the
    // first window comes up over whatever covered it.
    xdisplay::Geometry g;
    ASSERT_TRUE(xdisplay::GetGeometry(window, &g));
    xdisplay::Cover cover;
    ASSERT_TRUE(cover.Show(g, 20000));
    ASSERT_TRUE(xdisplay::IsAbove(cover.window(), window));
    platform::ChildProcess second;
    ASSERT_TRUE(StartZucam(&second, "second"));
    EXPECT_EQ(second.wait(kStartMs), 0) << e2e::ReadText(dir_.file("second.err"));
    bool raised = false;
    for (int i = 0; i < 100 && !raised; ++i) {
        raised = xdisplay::IsAbove(window, cover.window());
        if (!raised)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(raised) << "the first window stayed under the cover" << Diagnostics();
    EXPECT_EQ(xdisplay::VisibleWindows(second.pid(), ""), std::vector<std::string>());

    // The close button, then "确定" in the question: the program ends with 0
    // while the phone still streams.
    ASSERT_TRUE(xdisplay::GetGeometry(window, &g));
    std::vector<std::string> before = xdisplay::VisibleWindows(zucam.pid(), "");
    ASSERT_TRUE(ClickCloseButton(window, g));
    std::string question;
    ASSERT_TRUE(xdisplay::WaitForNewWindow(zucam.pid(), before, 20000, &question))
        << "no question after the close button" << Diagnostics();
    // A click can come before the question takes input: it is answered
    // again for as long as the question is still shown.
    int code = -1;
    for (int attempt = 0; attempt < 3 && code == -1; ++attempt) {
        const std::vector<std::string> shown = xdisplay::VisibleWindows(zucam.pid(), "");
        if (std::find(shown.begin(), shown.end(), question) != shown.end()) {
            ASSERT_TRUE(ClickOk(question, dir_.file("question.png")))
                << "no OK button in " << dir_.file("question.png");
        }
        code = zucam.wait(15000);
    }
    EXPECT_EQ(code, 0) << Diagnostics();
    EXPECT_FALSE(platform::FileExists(QueueFile()));
    ExpectSettingsWrittenAtExit(c.hardwareRender);
    phone.signal(true);
    // A whole session with a phone streaming left the terminal quiet: the
    // protocol's prints and the log lines went to the log file.
    EXPECT_EQ(e2e::ReadText(dir_.file("zucam.out")), "");
    EXPECT_EQ(e2e::ReadText(dir_.file("zucam.err")), "");
    EXPECT_EQ(e2e::ReadText(dir_.file("second.err")), "");
    const std::string log = e2e::ReadText(e2e::ZucamdLog(dir_));
    EXPECT_NE(log.find(c.udp ? "[onBinary]" : "OnNewCmdConnection"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Transports, ZucamWindowTest,
                         ::testing::Values(Case{"TcpPainter", false, false},
                                           Case{"Zup2pOpenGL", true, true}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

class ZucamSignalTest : public ZucamProgramTest, public ::testing::WithParamInterface<bool> {};

// A session logging out or Ctrl-C in a terminal: the same ending as a
// confirmed close, with a phone streaming.
TEST_P(ZucamSignalTest, TerminationWhileStreamingEndsLikeAConfirmedClose) {
    WriteSettings(false);
    platform::ChildProcess zucam;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(StartServing(&zucam, &window));
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir_, "phone",
                           {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern",
                            "640x360@30", "--duration", "120"}));
    ASSERT_TRUE(WaitForPattern(window, kPictureMs)) << Diagnostics();
    ASSERT_TRUE(platform::FileExists(QueueFile()));
    ASSERT_TRUE(GetParam() ? zucam.interrupt() : zucam.signal(false));
    EXPECT_EQ(zucam.wait(30000), 0) << Diagnostics();
    EXPECT_FALSE(platform::FileExists(QueueFile()));
    ExpectSettingsWrittenAtExit(false);
    phone.signal(true);
}

INSTANTIATE_TEST_SUITE_P(Signals, ZucamSignalTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Sigint" : "Sigterm");
                         });

}  // namespace
}  // namespace zwtest
