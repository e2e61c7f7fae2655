// The real zucam under a window manager, and phones that put its window to
// the test: one whose name is markup and terminal codes, one whose picture
// changes size every picture. Runs like zucam-window-test.cpp, in the same
// program.
#include <gtest/gtest.h>

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

// ---- under a window manager ----

bool Has(const std::vector<std::string>& states, const std::string& state) {
    return std::find(states.begin(), states.end(), state) != states.end();
}

bool IsMaximised(const std::string& window) {
    const std::vector<std::string> s = xdisplay::WindowState(window);
    return Has(s, "MAXIMIZED_VERT") && Has(s, "MAXIMIZED_HORZ");
}

template <typename Check>
bool WaitFor(int timeoutMs, Check check) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

bool Shown(long pid, const std::string& window) {
    const std::vector<std::string> shown = xdisplay::VisibleWindows(pid, "");
    return std::find(shown.begin(), shown.end(), window) != shown.end();
}

// The state bar's settings button: first at its left, margin 30, in a bar 75
// high at the window's bottom, inside a 1 pixel frame.
bool ClickSettingsButton(const std::string& window, const xdisplay::Geometry& g) {
    const double scale = g.width / 900.0;
    return xdisplay::ClickHere(window, 1 + 30 + static_cast<int>(18 * scale),
                               g.height - 1 - static_cast<int>(37 * scale));
}

// The maximise button: left of the close button, 25 apart, both 18 wide.
// `scale` is the style's, from the window's normal width (900 at scale 1).
bool ClickMaximiseButton(const std::string& window, const xdisplay::Geometry& g, double scale) {
    return xdisplay::ClickHere(window, g.width - 1 - 30 - static_cast<int>((18 + 9) * scale) - 25,
                               1 + static_cast<int>(33 * scale));
}

using ZucamWindowManagerTest = ZucamProgramTest;

// Kept on top, the window never buries its own settings: the dialog stays
// above it and takes the click on its close button. Maximise and restore
// then take one click each, and everything carries a real title.
TEST_F(ZucamWindowManagerTest, OnTopWindowKeepsItsSettingsAboveAndMaximisesInOneClick) {
    WriteSettings(false, true);
    platform::ChildProcess zucam;
    ASSERT_TRUE(StartZucam(&zucam, "zucam"));
    std::string window;
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam.pid(), kStartMs, &window)) << Diagnostics();
    EXPECT_TRUE(WaitFor(20000, [&] { return Has(xdisplay::WindowState(window), "ABOVE"); }));
    EXPECT_EQ(xdisplay::Title(window), "ZuCam Virtual Camera");

    xdisplay::Geometry normal;
    ASSERT_TRUE(xdisplay::GetGeometry(window, &normal));
    const std::vector<std::string> before = xdisplay::VisibleWindows(zucam.pid(), "");
    ASSERT_TRUE(ClickSettingsButton(window, normal));
    std::string settings;
    ASSERT_TRUE(xdisplay::WaitForNewWindow(zucam.pid(), before, 20000, &settings))
        << "no settings dialog" << Diagnostics();
    EXPECT_EQ(xdisplay::Title(settings), "Settings");
    // "Keep the window on top", the second line of the settings, turned off
    // and on again from the open dialog.
    const double scale = normal.width / 900.0;
    const int boxX = static_cast<int>(31 * scale);
    const int boxY = static_cast<int>(86 * scale);
    ASSERT_TRUE(WaitFor(20000, [&] { return xdisplay::IsAbove(settings, window); }));
    ASSERT_TRUE(xdisplay::ClickHere(settings, boxX, boxY));
    ASSERT_TRUE(WaitFor(20000, [&] { return !Has(xdisplay::WindowState(window), "ABOVE"); }))
        << "the click missed the keep-on-top box";
    ASSERT_TRUE(xdisplay::ClickHere(settings, boxX, boxY)) << [&] {
        std::string all;
        for (const std::string& w : xdisplay::VisibleWindows(zucam.pid(), ""))
            all += w + " " + xdisplay::Title(w) + "\n";
        return "settings " + settings + " gone; shown:\n" + all + Diagnostics();
    }();
    ASSERT_TRUE(WaitFor(20000, [&] { return Has(xdisplay::WindowState(window), "ABOVE"); }));
    EXPECT_TRUE(WaitFor(20000, [&] { return xdisplay::IsAbove(settings, window); }))
        << "the settings dialog sank under its window";
    // Its close button, top right; clicked where the screen shows it.
    xdisplay::Geometry dialog;
    ASSERT_TRUE(xdisplay::GetGeometry(settings, &dialog));
    ASSERT_TRUE(xdisplay::ClickHere(settings, dialog.width - 19, 20));
    EXPECT_TRUE(WaitFor(20000, [&] { return !Shown(zucam.pid(), settings); }))
        << "the click on the dialog's close button did not reach it";

    ASSERT_TRUE(ClickMaximiseButton(window, normal, normal.width / 900.0));
    ASSERT_TRUE(WaitFor(20000, [&] { return IsMaximised(window); })) << "one click: maximised";
    xdisplay::Geometry full;
    ASSERT_TRUE(WaitFor(20000, [&] {
        return xdisplay::GetGeometry(window, &full) && full.width == 1280 && full.height == 800;
    }));
    ASSERT_TRUE(ClickMaximiseButton(window, full, normal.width / 900.0));
    EXPECT_TRUE(WaitFor(20000, [&] { return !IsMaximised(window); })) << "one click: restored";
    xdisplay::Geometry restored;
    EXPECT_TRUE(WaitFor(20000,
                        [&] {
                            return xdisplay::GetGeometry(window, &restored) &&
                                   restored.width == normal.width &&
                                   restored.height == normal.height;
                        }))
        << restored.width << "x" << restored.height;
    ASSERT_TRUE(zucam.signal(false));
    EXPECT_EQ(zucam.wait(30000), 0) << Diagnostics();
}

long long PeakResidentKb(long pid) {
    std::string status;
    platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/status", &status);
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atoll(status.c_str() + at + 6);
}

// A phone named like a picture and a terminal title: the window shows its
// pattern at its usual size, reads no file for the name, and ends at once.
TEST_F(ZucamProgramTest, AHostileNameIsShownAsTextAndCostsNothing) {
    WriteSettings(false);
    platform::ChildProcess zucam;
    ASSERT_TRUE(StartZucam(&zucam, "zucam"));
    std::string window;
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam.pid(), kStartMs, &window)) << Diagnostics();
    xdisplay::Geometry before;
    ASSERT_TRUE(xdisplay::GetGeometry(window, &before));
    ASSERT_TRUE(WaitForListening(10080, kStartMs)) << Diagnostics();
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(
        &phone, dir_, "phone",
        {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--name",
         "<img src=/dev/zero>\x1b]0;title\x07", "--pattern", "320x240@15", "--duration", "120"}));
    ASSERT_TRUE(WaitForPattern(window, kPictureMs)) << Diagnostics();
    xdisplay::Geometry after;
    ASSERT_TRUE(xdisplay::GetGeometry(window, &after));
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    const long long peakKb = PeakResidentKb(zucam.pid());
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 300 * 1024) << "peak resident " << peakKb << " kB";
    const std::string log = e2e::ReadText(e2e::ZucamdLog(dir_));
    EXPECT_NE(log.find("device:[<img src=/dev/zero>\\x1b]0;title\\x07]"), std::string::npos)
        << Diagnostics();
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    ASSERT_TRUE(zucam.signal(false));
    EXPECT_EQ(zucam.wait(30000), 0) << Diagnostics();
    phone.signal(true);
}

class ZucamSizeChangeTest : public ZucamProgramTest, public ::testing::WithParamInterface<bool> {};

// A phone whose picture changes size from one picture to the next (turns,
// resolution switches) for 10 s: both renderers show it, and the window lives
// on and ends cleanly. Sizes include odd chroma widths and both orientations.
TEST_P(ZucamSizeChangeTest, APictureSizeThatChangesEveryPictureIsShownFor10Seconds) {
    hardwareRender_ = GetParam();
    WriteSettings(hardwareRender_);
    platform::ChildProcess zucam;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(StartServing(&zucam, &window));
    platform::ChildProcess phone;
    ASSERT_TRUE(
        e2e::Start(&phone, dir_, "phone",
                   {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern", "640x360@30",
                    "--pattern-sizes", "360x640,642x362,320x240,1280x720", "--duration", "10"}));
    EXPECT_TRUE(WaitForPattern(window, kPictureMs))
        << "the window never showed the pattern; last capture: " << dir_.file("window.png")
        << Diagnostics() << e2e::ReadText(dir_.file("phone.err"));
    // The phone ends by itself after its 10 s; the window must still be there.
    EXPECT_EQ(phone.wait(kPictureMs + 10000), 0) << e2e::ReadText(dir_.file("phone.err"));
    ASSERT_TRUE(zucam.running()) << Diagnostics();
    ASSERT_TRUE(zucam.signal(false));
    EXPECT_EQ(zucam.wait(30000), 0) << Diagnostics();
    EXPECT_FALSE(platform::FileExists(QueueFile()));
}

INSTANTIATE_TEST_SUITE_P(Renderers, ZucamSizeChangeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "OpenGL" : "Painter");
                         });

}  // namespace
}  // namespace zwtest
