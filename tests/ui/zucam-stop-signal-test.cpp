// The real zucam ended by SIGTERM (a session logging out), SIGINT (a
// terminal's Ctrl-C) and SIGHUP (its terminal closed): the way a confirmed close ends it, with exit
// code 0, a running recording finished, the camera queue removed and the settings written. Runs in
// a private network namespace on the X server of DISPLAY.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared-memory.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::filesystem::path> Recordings(const std::string& dir) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".mp4")
            found.push_back(entry.path());
    }
    return found;
}

class ZuCamStopSignalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(platform::GetEnv("DISPLAY").empty()) << "needs an X server (Xvfb)";
        bin_ = platform::GetEnv("ZUCAM_BIN_DIR");
        std::filesystem::create_directories(home());
        queue_ = "/zucam-stop-test-" + std::to_string(::getpid());
    }

    std::string home() const { return dir_.file("home"); }
    std::string log() const {
        std::string text;
        platform::ReadWholeFile(dir_.file("state/ZuCam/zucam.log"), &text);
        return text;
    }

    bool StartZuCam() {
        platform::ChildProcess::Options options;
        options.argv = {bin_ + "/zucam", "--no-camera-output"};
        options.env = {
            {"HOME", home()},
            {"XDG_CONFIG_HOME", dir_.file("config")},
            {"XDG_STATE_HOME", dir_.file("state")},
            {"ZUCAM_CAMERA_QUEUE", queue_},
            {"ZUCAM_OPEN_COMMAND", "true"},
            {"QT_QPA_PLATFORM", "xcb"},
            // The session bus is out of reach from this namespace.
            {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
            // The painter renderer; Mesa's GLX keeps allocations.
            {"QT_XCB_GL_INTEGRATION", "none"},
            {"LSAN_OPTIONS", "suppressions=" ZUCAM_SOURCE_DIR "/tests/ui/lsan-qt-xcb.supp"}};
        for (const auto& entry : tools_.env())
            options.env.push_back(entry);
        options.stdoutPath = dir_.file("zucam.out");
        options.stderrPath = dir_.file("zucam.err");
        if (!zucam_.start(options))
            return false;
        // The window makes the camera queue once it is built, and listens
        // right after; a phone that came earlier would find nobody.
        return WaitFor([this] { return platform::SharedMemoryExists(queue_); }, 30000) &&
               WaitFor([this] { return log().find("serving Wi-Fi phones") != std::string::npos; },
                       30000);
    }

    void ExpectEndedCleanly(int code) {
        EXPECT_EQ(code, 0) << log();
        EXPECT_FALSE(platform::SharedMemoryExists(queue_));
        std::string settings;
        ASSERT_TRUE(platform::ReadWholeFile(dir_.file("config/ZuCam/settings.json"), &settings));
        EXPECT_NE(settings.find("cfg_save_dir"), std::string::npos);
    }

    zutest::TempDir dir_;
    zutest::FakeTools tools_;
    std::string bin_;
    std::string queue_;
    platform::ChildProcess zucam_;
};

TEST_F(ZuCamStopSignalTest, SigintEndsTheProgramAsAConfirmedClose) {
    ASSERT_TRUE(StartZuCam()) << log();
    ASSERT_TRUE(zucam_.interrupt());
    ExpectEndedCleanly(zucam_.wait(30000));
}

TEST_F(ZuCamStopSignalTest, SighupEndsTheProgramAsAConfirmedClose) {
    ASSERT_TRUE(StartZuCam()) << log();
    ASSERT_EQ(::kill(static_cast<pid_t>(zucam_.pid()), SIGHUP), 0);
    ExpectEndedCleanly(zucam_.wait(30000));
}

TEST_F(ZuCamStopSignalTest, SigtermFinishesARunningRecording) {
    ASSERT_TRUE(StartZuCam()) << log();
    platform::ChildProcess phone;
    platform::ChildProcess::Options options;
    // The phone asks again in case its first picture was not decoded yet;
    // a second start while recording starts nothing.
    options.argv = {bin_ + "/zucam-phone-sim", "--pattern", "320x240@15",     "--command",
                    "record-start@1",          "--command", "record-start@3", "--command",
                    "record-start@6"};
    options.stdoutPath = dir_.file("phone.out");
    options.stderrPath = dir_.file("phone.err");
    ASSERT_TRUE(phone.start(options));
    ASSERT_TRUE(WaitFor(
        [this] {
            const auto files = Recordings(home());
            return !files.empty() && std::filesystem::file_size(files[0]) > 0;
        },
        30000))
        << log();
    ASSERT_TRUE(zucam_.signal(false));
    ExpectEndedCleanly(zucam_.wait(30000));
    const std::vector<std::filesystem::path> files = Recordings(home());
    ASSERT_EQ(files.size(), 1u);
    // The folder and the name meet with two separators.
    EXPECT_NE(log().find("recording finished: " + home() + "//" + files[0].filename().string()),
              std::string::npos)
        << log();
}

}  // namespace
