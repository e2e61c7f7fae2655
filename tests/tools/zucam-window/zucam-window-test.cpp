// ZuCam as a person meets it: the real zucam on the X server in DISPLAY,
// a simulated phone streaming its pattern over TCP or Zup2p, the window
// captured, clicked and covered from outside, the camera read back through
// zucam-camera.
#include <gtest/gtest.h>

#include <json/json.h>
#include <QColor>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucam-window/x-display.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

// Generous: a sanitizer build on a busy two-core machine starts slowly.
constexpr int kStartMs = 60000;
constexpr int kPictureMs = 60000;

std::string QueueFile() {
    return "/dev/shm" + platform::GetEnv("ZUCAM_CAMERA_QUEUE");
}

// Pixels of the colour bands at the pattern's two edges: red-orange at the
// left (Cb low, Cr high), blue at the right (Cb high, Cr low). Nothing else
// in the window is that red.
struct BandCount {
    long red = 0;
    long blue = 0;
    double redX = 0;  // mean x of the red pixels
    double blueX = 0;
};

BandCount CountBands(const QImage& image) {
    BandCount c;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int r = qRed(row[x]);
            const int g = qGreen(row[x]);
            const int b = qBlue(row[x]);
            if (r - b > 80 && r - g > 40) {
                ++c.red;
                c.redX += x;
            } else if (b - r > 80 && b - g > 40) {
                ++c.blue;
                c.blueX += x;
            }
        }
    }
    c.redX = c.red ? c.redX / c.red : 0;
    c.blueX = c.blue ? c.blueX / c.blue : 0;
    return c;
}

// The video fills the middle of the window: both bands cover a good part of
// it, red on the left, blue on the right.
bool ShowsPattern(const QImage& image) {
    const long area = static_cast<long>(image.width()) * image.height();
    const BandCount c = CountBands(image);
    return c.red * 50 >= area && c.blue * 50 >= area && c.redX + image.width() / 4.0 < c.blueX;
}

// True once a TCP socket of this network namespace listens on `port`: the
// window shows before its server has started.
bool WaitForListening(int port, int timeoutMs) {
    char hexPort[8];
    std::snprintf(hexPort, sizeof hexPort, "%04X", port);
    const std::string local = std::string(":") + hexPort + " ";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        std::istringstream table(e2e::ReadText("/proc/net/tcp") + e2e::ReadText("/proc/net/tcp6"));
        for (std::string line; std::getline(table, line);) {
            std::istringstream fields(line);
            std::string slot, address, remote, state;
            fields >> slot >> address >> remote >> state;
            if (state == "0A" && (address + " ").find(local) != std::string::npos)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

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

// Each test: its own folders, stand-in tools and zucam processes.
class ZucamProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(platform::GetEnv("DISPLAY").empty())
            << "these tests need an X server: set DISPLAY (scripts/services.sh starts Xvfb)";
        platform::MakeDirs(dir_.file("runtime"), 0700);
        platform::MakeDirs(dir_.file("tmp"), 0700);
        platform::MakeDirs(dir_.file("home"), 0700);
        platform::MakeDirs(dir_.file("saved"), 0700);
        platform::MakeDirs(dir_.file("config/ZuCam"), 0700);
    }

    // The environment of every zucam of the test: its own settings, log,
    // runtime and temporary folders (the single-instance block and socket
    // live there), stand-ins for adb and pactl, the real X server.
    Env ZucamEnv() const {
        std::map<std::string, std::string> merged;
        for (const auto& kv : e2e::IsolatedEnv(dir_))
            merged[kv.first] = kv.second;
        for (const auto& kv : tools_.env())
            merged[kv.first] = kv.second;
        merged["XDG_RUNTIME_DIR"] = dir_.file("runtime");
        merged["HOME"] = dir_.file("home");
        merged["TMPDIR"] = dir_.file("tmp");
        merged["QT_QPA_PLATFORM"] = "xcb";
        // What Qt's xcb platform keeps to the end: D-Bus and fontconfig buffers.
        merged["LSAN_OPTIONS"] =
            "suppressions=" + std::string(ZUCAM_SOURCE_DIR) + "/tests/ui/lsan-qt-xcb.supp";
        // Mesa unloads its software driver when the display closes, leaving
        // what the driver allocated for itself named by no module, which
        // LeakSanitizer cannot be told to ignore. Without LLVM (softpipe)
        // that is nothing while the window only composes itself; once the
        // video is drawn with OpenGL it is 240 bytes, so those runs do without
        // the leak check (the painter runs keep it).
        merged["GALLIUM_DRIVER"] = "softpipe";
        if (hardwareRender_)
            merged["ASAN_OPTIONS"] = platform::GetEnv("ASAN_OPTIONS") + ":detect_leaks=0";
        return Env(merged.begin(), merged.end());
    }

    bool StartZucam(platform::ChildProcess* zucam, const std::string& tag) {
        platform::ChildProcess::Options o;
        // zucam-camera reads the queue here instead of the camera output.
        o.argv = {e2e::Bin("zucam"), "--no-camera-output"};
        o.env = ZucamEnv();
        o.stdoutPath = dir_.file(tag + ".out");
        o.stderrPath = dir_.file(tag + ".err");
        return zucam->start(o);
    }

    std::string SettingsPath() const { return dir_.file("config/ZuCam/settings.json"); }

    void WriteSettings(bool hardwareRender, bool onTop = false) {
        Json::Value root;
        root["cfg_window_stays_on_top"] = onTop ? "1" : "0";
        root["cfg_use_hardware_render"] = hardwareRender ? "1" : "0";
        root["cfg_first_open"] = "0";
        root["cfg_save_dir"] = dir_.file("saved");
        ASSERT_TRUE(platform::WriteWholeFile(SettingsPath(), Json::FastWriter().write(root)));
    }

    // Written at exit: every setting, not only the three written before.
    void ExpectSettingsWrittenAtExit(bool hardwareRender) {
        std::string settings;
        ASSERT_TRUE(platform::ReadWholeFile(SettingsPath(), &settings));
        Json::Value root;
        ASSERT_TRUE(Json::Reader().parse(settings, root));
        EXPECT_TRUE(root.isMember("cfg_device_name")) << settings;
        EXPECT_EQ(root["cfg_use_hardware_render"].asString(), hardwareRender ? "1" : "0");
        EXPECT_EQ(root["cfg_save_dir"].asString(), dir_.file("saved"));
    }

    std::string Diagnostics() const {
        return "\n--- zucam log ---\n" + e2e::ReadText(e2e::ZucamdLog(dir_)) +
               "\n--- zucam stderr ---\n" + e2e::ReadText(dir_.file("zucam.err"));
    }

    // Captures until the window shows the pattern; false after timeoutMs.
    bool WaitForPattern(const std::string& window, int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            QImage shot = xdisplay::Capture(window, dir_.file("window.png"));
            if (!shot.isNull() && ShowsPattern(shot))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

    // The recordings in the save folder; ZuCam names them itself.
    std::vector<std::string> Recordings() const {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.file("saved"), error)) {
            if (entry.path().extension() == ".mp4")
                found.push_back(entry.path().string());
        }
        return found;
    }

    // The record button, clicked twice at the same point, starts and then
    // stops a recording: starting does not move it, nor does the phone's
    // name. It sits right of the screenshot button (48 wide, 20 apart) in the
    // middle of the state bar (75 high, margins 30); sizes from the style
    // grow with the scale factor, the layout's margins and spacing do not.
    void ExpectRecordButtonStaysPut(const std::string& window) {
        xdisplay::Geometry g;
        ASSERT_TRUE(xdisplay::GetGeometry(window, &g));
        const double s = g.width / 900.0;
        const double side = (g.width - 2 - 60 - 2 * 20 - (48 + 37) * s) / 2;
        const int x = static_cast<int>(1 + 30 + side + 20 + 48 * s + 20 + 18 * s);
        const int y = g.height - 1 - static_cast<int>(37 * s);
        ASSERT_TRUE(Recordings().empty());
        ASSERT_TRUE(xdisplay::Click(window, x, y));
        std::vector<std::string> made;
        auto started = [&] {
            made = Recordings();
            return made.size() == 1;
        };
        for (int i = 0; i < 200 && !started(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(made.size(), 1u) << "the click did not start a recording" << Diagnostics();
        ASSERT_TRUE(xdisplay::Click(window, x, y));
        // Stopped: the file gets its index ("moov") when the recorder closes.
        bool closed = false;
        for (int i = 0; i < 300 && !closed; ++i) {
            closed = e2e::ReadText(made[0]).find("moov") != std::string::npos;
            if (!closed)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(closed) << "the second click at the same point did not stop the recording";
        EXPECT_EQ(Recordings().size(), 1u);
    }

    zutest::TempDir dir_;
    zutest::FakeTools tools_;
    bool hardwareRender_ = false;
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
    // On the shared display a click can come before the question takes
    // input: it is answered again for as long as the question is still shown.
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

class ZucamSizeChangeTest : public ZucamProgramTest, public ::testing::WithParamInterface<bool> {};

// A phone whose picture changes size from one picture to the next (turns,
// resolution switches) for 10 s: both renderers show it, and the window lives
// on and ends cleanly. Sizes include odd chroma widths and both orientations.
TEST_P(ZucamSizeChangeTest, APictureSizeThatChangesEveryPictureIsShownFor10Seconds) {
    hardwareRender_ = GetParam();
    WriteSettings(hardwareRender_);
    platform::ChildProcess zucam;
    ASSERT_TRUE(StartZucam(&zucam, "zucam"));
    std::string window;
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam.pid(), kStartMs, &window)) << Diagnostics();
    ASSERT_TRUE(WaitForListening(10080, kStartMs)) << Diagnostics();
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

class ZucamSignalTest : public ZucamProgramTest, public ::testing::WithParamInterface<bool> {};

// A session logging out or Ctrl-C in a terminal: the same ending as a
// confirmed close, with a phone streaming.
TEST_P(ZucamSignalTest, TerminationWhileStreamingEndsLikeAConfirmedClose) {
    WriteSettings(false);
    platform::ChildProcess zucam;
    ASSERT_TRUE(StartZucam(&zucam, "zucam"));
    std::string window;
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam.pid(), kStartMs, &window)) << Diagnostics();
    ASSERT_TRUE(WaitForListening(10080, kStartMs)) << Diagnostics();
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

// The same window manager as on people's desktops (openbox), on an X server
// of the test's own.
class ZucamWindowManagerTest : public ZucamProgramTest {
protected:
    void SetUp() override {
        ZucamProgramTest::SetUp();
        ASSERT_TRUE(display_.Start(dir_.file("tmp"), 30000))
            << "Xvfb and openbox must be installed (scripts/install-deps.sh test)";
    }

    xdisplay::PrivateDisplay display_;
};

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

}  // namespace
