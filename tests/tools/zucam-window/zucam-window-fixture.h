#pragma once

// What every test of the real zucam on an X server shares: a folder, stand-in
// tools and settings of its own for each test, zucam started and watched from
// outside, its window captured until it shows the phone's pattern.
#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <utility>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucam-window/x-display.h"

namespace zwtest {

using Env = std::vector<std::pair<std::string, std::string>>;

// Generous: a sanitizer build on a busy two-core machine starts slowly.
constexpr int kStartMs = 60000;
constexpr int kPictureMs = 60000;

// The file behind the camera queue of this test program.
std::string QueueFile();

// Pixels of the colour bands at the pattern's two edges: red-orange at the
// left (Cb low, Cr high), blue at the right (Cb high, Cr low). Nothing else
// in the window is that red.
struct BandCount {
    long red = 0;
    long blue = 0;
    double redX = 0;  // mean x of the red pixels
    double blueX = 0;
};

BandCount CountBands(const QImage& image);

// The video fills the middle of the window: both bands cover a good part of
// it, red on the left, blue on the right.
bool ShowsPattern(const QImage& image);

// True once a TCP socket of this network namespace listens on `port`: the
// window shows before its server has started.
bool WaitForListening(int port, int timeoutMs);

// Each test: its own folders, stand-in tools, X server and zucam processes.
class ZucamProgramTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The environment of every zucam of the test: its own settings, log,
    // runtime and temporary folders (the single-instance block and socket
    // live there), stand-ins for adb and pactl, the real X server.
    Env ZucamEnv() const;

    bool StartZucam(platform::ChildProcess* zucam, const std::string& tag);

    // Starts zucam and waits until its main window shows and phones can
    // connect; `window` is the main window.
    void StartServing(platform::ChildProcess* zucam, std::string* window);

    std::string SettingsPath() const { return dir_.file("config/ZuCam/settings.json"); }

    void WriteSettings(bool hardwareRender, bool onTop = false);

    // Written at exit: every setting, not only the three written before.
    void ExpectSettingsWrittenAtExit(bool hardwareRender);

    std::string Diagnostics() const;

    // Captures until the window shows the pattern; false after timeoutMs.
    bool WaitForPattern(const std::string& window, int timeoutMs);

    // The recordings in the save folder; ZuCam names them itself.
    std::vector<std::string> Recordings() const;

    // The record button, clicked twice at the same point, starts and then
    // stops a recording: starting does not move it, nor does the phone's
    // name. It sits right of the screenshot button (48 wide, 20 apart) in the
    // middle of the state bar (75 high, margins 30); sizes from the style
    // grow with the scale factor, the layout's margins and spacing do not.
    void ExpectRecordButtonStaysPut(const std::string& window);

    zutest::TempDir dir_;
    zutest::FakeTools tools_;
    bool hardwareRender_ = false;
    // Each test's windows on an X server of their own, managed by openbox as
    // on people's desktops: no other test's window comes up over them
    // between a raise and a click, nor into a captured picture.
    xdisplay::PrivateDisplay display_;
};

}  // namespace zwtest
