// The application object starts the camera output beside it (here the real
// zucam-camera of this build) when it initialises, and ends it at exit;
// "--no-camera-output" starts none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <memory>
#include <string>

#include "platform/process-list.h"
#include "tests/app/fake-main-window.h"
#include "tests/support/fake-tools.h"
#include "tests/support/test-host.h"
#include "zucam.h"

// Qt's offscreen platform, which these tests run on, leaks at exit.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_LSAN_QT_SUPPRESSIONS;
}

namespace {

long StartedPid(const std::string& line) {
    size_t at = line.find("(pid ");
    return at == std::string::npos ? -1 : std::atol(line.c_str() + at + 5);
}

class ZuCamCameraOutput : public ::testing::Test {
protected:
    void SetUp() override {
        QCoreApplication::setApplicationName(
            QString("zucam-camera-output-test-%1-%2")
                .arg(::getpid())
                .arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        tools_.useInThisProcess();
        ZuCam::SetMainWindowFactory([] { return new FakeMainWindow; });
    }
    void TearDown() override { ZuCam::SetMainWindowFactory(nullptr); }

    // Runs a ZuCam with `extra` arguments through its start-up, and returns
    // the pid of the camera output it started (-1: none); the app is gone
    // when this returns.
    long runZuCam(const char* extra) {
        char name[] = "zucam";
        char option[64] = {};
        char* argv[3] = {name, nullptr, nullptr};
        int argc = 1;
        if (extra) {
            std::snprintf(option, sizeof(option), "%s", extra);
            argv[argc++] = option;
        }
        long pid = -1;
        {
            ZuCam app(argc, argv);
            QTimer::singleShot(0, &app, [&] {
                for (const std::string& line : host_.lines()) {
                    if (line.find("camera output started") != std::string::npos)
                        pid = StartedPid(line);
                }
                app.quit();
            });
            EXPECT_EQ(app.exec(), 0);
        }
        return pid;
    }

    zutest::TestHost host_;
    zutest::FakeTools tools_;
};

TEST_F(ZuCamCameraOutput, StartedAtInitialiseAndEndedAtExit) {
    long pid = runZuCam(nullptr);
    ASSERT_GT(pid, 0) << "no camera output started";
    EXPECT_FALSE(platform::ProcessExists(pid)) << "the camera output outlived ZuCam";
}

TEST_F(ZuCamCameraOutput, NoCameraOutputStartsNone) {
    EXPECT_EQ(runZuCam("--no-camera-output"), -1);
    EXPECT_FALSE(host_.contains("camera output started"));
}

}  // namespace
