#include "tests/tools/zucam-window/zucam-window-fixture.h"

#include <json/json.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "tests/tools/zucam-window/x-display.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace zwtest {

std::string QueueFile() {
    return "/dev/shm" + platform::GetEnv("ZUCAM_CAMERA_QUEUE");
}

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

bool ShowsPattern(const QImage& image) {
    const long area = static_cast<long>(image.width()) * image.height();
    const BandCount c = CountBands(image);
    return c.red * 50 >= area && c.blue * 50 >= area && c.redX + image.width() / 4.0 < c.blueX;
}

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

void ZucamProgramTest::SetUp() {
    platform::MakeDirs(dir_.file("runtime"), 0700);
    platform::MakeDirs(dir_.file("tmp"), 0700);
    platform::MakeDirs(dir_.file("home"), 0700);
    platform::MakeDirs(dir_.file("saved"), 0700);
    platform::MakeDirs(dir_.file("config/ZuCam"), 0700);
    ASSERT_TRUE(display_.Start(dir_.file("tmp"), 30000))
        << "Xvfb and openbox must be installed (scripts/install-deps.sh test)";
}

Env ZucamProgramTest::ZucamEnv() const {
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

bool ZucamProgramTest::StartZucam(platform::ChildProcess* zucam, const std::string& tag) {
    platform::ChildProcess::Options o;
    // zucam-camera reads the queue here instead of the camera output.
    o.argv = {e2e::Bin("zucam"), "--no-camera-output"};
    o.env = ZucamEnv();
    o.stdoutPath = dir_.file(tag + ".out");
    o.stderrPath = dir_.file(tag + ".err");
    return zucam->start(o);
}

void ZucamProgramTest::WriteSettings(bool hardwareRender, bool onTop) {
    Json::Value root;
    root["cfg_window_stays_on_top"] = onTop ? "1" : "0";
    root["cfg_use_hardware_render"] = hardwareRender ? "1" : "0";
    root["cfg_first_open"] = "0";
    root["cfg_save_dir"] = dir_.file("saved");
    ASSERT_TRUE(platform::WriteWholeFile(SettingsPath(), Json::FastWriter().write(root)));
}

void ZucamProgramTest::ExpectSettingsWrittenAtExit(bool hardwareRender) {
    std::string settings;
    ASSERT_TRUE(platform::ReadWholeFile(SettingsPath(), &settings));
    Json::Value root;
    ASSERT_TRUE(Json::Reader().parse(settings, root));
    EXPECT_TRUE(root.isMember("cfg_device_name")) << settings;
    EXPECT_EQ(root["cfg_use_hardware_render"].asString(), hardwareRender ? "1" : "0");
    EXPECT_EQ(root["cfg_save_dir"].asString(), dir_.file("saved"));
}

void ZucamProgramTest::StartServing(platform::ChildProcess* zucam, std::string* window) {
    ASSERT_TRUE(StartZucam(zucam, "zucam"));
    ASSERT_TRUE(xdisplay::WaitForMainWindow(zucam->pid(), kStartMs, window)) << Diagnostics();
    ASSERT_TRUE(WaitForListening(10080, kStartMs)) << Diagnostics();
}

std::string ZucamProgramTest::Diagnostics() const {
    return "\n--- zucam log ---\n" + e2e::ReadText(e2e::ZucamdLog(dir_)) +
           "\n--- zucam stderr ---\n" + e2e::ReadText(dir_.file("zucam.err"));
}

bool ZucamProgramTest::WaitForPattern(const std::string& window, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        QImage shot = xdisplay::Capture(window, dir_.file("window.png"));
        if (!shot.isNull() && ShowsPattern(shot))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::vector<std::string> ZucamProgramTest::Recordings() const {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("saved"), error)) {
        if (entry.path().extension() == ".mp4")
            found.push_back(entry.path().string());
    }
    return found;
}

void ZucamProgramTest::ExpectRecordButtonStaysPut(const std::string& window) {
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

}  // namespace zwtest
