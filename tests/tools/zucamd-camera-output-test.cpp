// zucamd starts the camera other programs see (zucam-camera --sink auto) as
// its child, starts it again when it is killed, and ends it at exit.
#include <gtest/gtest.h>

#include <string>

#include "platform/child-process.h"
#include "platform/process-list.h"
#include "tests/support/camera-queue-reset.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucam-camera/pipewire-daemon.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

constexpr const char* kStarted = "camera output started: ";

// The pid of the n-th (from 1) camera output start in the log; -1 when
// there is none (yet).
long StartedPid(const std::string& log, int n) {
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        at = log.find(kStarted, i == 0 ? 0 : at + 1);
        if (at == std::string::npos)
            return -1;
    }
    size_t pid = log.find("(pid ", at);
    return pid == std::string::npos ? -1 : std::atol(log.c_str() + pid + 5);
}

// Gone, or dead and waiting to be reaped by whoever inherited it.
bool Ended(long pid) {
    std::string stat = e2e::ReadText("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close, 4, ") Z ") == 0;
}

class ZucamdCameraOutput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
        std::string why;
        // With PipeWire the camera output has somewhere to go and stays up.
        ASSERT_TRUE(daemon_.ensure(&why)) << why;
    }
    std::string log() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }
    long waitForStart(int n) {
        long pid = -1;
        for (int i = 0; i < 1500 && (pid = StartedPid(log(), n)) <= 0; ++i)
            platform::RunProcess({"sleep", "0.02"}, 5000, nullptr);
        return pid;
    }

    zutest::PipeWireDaemon daemon_;
    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
};

TEST_F(ZucamdCameraOutput, StartedWithZucamdRestartedWhenKilledEndedAtExit) {
    ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_));
    long first = waitForStart(1);
    ASSERT_GT(first, 0) << log();
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "the phone is offered as", 30000))
        << "its lines reach zucamd's log: " << log();

    EXPECT_TRUE(e2e::WaitForText(dir_.file("zucamd.out"), "is there for other programs", 30000))
        << e2e::ReadText(dir_.file("zucamd.out"));
    ASSERT_EQ(platform::RunProcess({"kill", "-9", std::to_string(first)}, 5000, nullptr), 0);
    long second = waitForStart(2);
    ASSERT_GT(second, 0) << log();
    EXPECT_NE(second, first);
    EXPECT_TRUE(platform::ProcessExists(second));

    EXPECT_EQ(zucamd_.stop(30000), 0) << log();
    EXPECT_FALSE(platform::ProcessExists(second)) << "ended with zucamd";
    EXPECT_EQ(e2e::CountOf(log(), kStarted), 2);
}

TEST_F(ZucamdCameraOutput, ACrashedZucamdTakesItsCameraOutputAlong) {
    ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_));
    long camera = waitForStart(1);
    ASSERT_GT(camera, 0) << log();
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "the phone is offered as", 30000)) << log();
    ASSERT_TRUE(zucamd_.signal(true));
    ASSERT_GE(zucamd_.wait(10000), 0);
    bool ended = false;
    for (int i = 0; i < 500 && !(ended = Ended(camera)); ++i)
        platform::RunProcess({"sleep", "0.02"}, 5000, nullptr);
    EXPECT_TRUE(ended) << "the camera output outlived a killed zucamd";
}

// Neither PipeWire nor v4l2loopback: the person reads what to install, line
// by line, and zucamd still serves the phone.
TEST_F(ZucamdCameraOutput, WithoutAnyCameraOutputTheTerminalSaysWhatToDo) {
    const std::string empty = dir_.file("no-pipewire");
    ASSERT_EQ(platform::RunProcess({"mkdir", "-m", "700", empty}, 5000, nullptr), 0);
    ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_, {},
                                 {{"PIPEWIRE_RUNTIME_DIR", empty}, {"XDG_RUNTIME_DIR", empty}}));
    const std::string terminal = dir_.file("zucamd.err");
    ASSERT_TRUE(e2e::WaitForText(terminal, "card_label=ZuCam\n", 60000))
        << e2e::ReadText(terminal) << e2e::ReadText(dir_.file("zucamd.out")) << log();
    const std::string said = e2e::ReadText(terminal);
    EXPECT_NE(said.find("\n    sudo apt install v4l2loopback-dkms\n"), std::string::npos) << said;
    EXPECT_NE(said.find("pipewire, wireplumber and pipewire-pulse"), std::string::npos) << said;
    EXPECT_EQ(e2e::ReadText(dir_.file("zucamd.out")).find("is there for other programs"),
              std::string::npos);
    EXPECT_EQ(zucamd_.stop(30000), 0) << log();
}

TEST_F(ZucamdCameraOutput, NoCameraOutputStartsNone) {
    ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_, {"--no-camera-output"}));
    EXPECT_EQ(zucamd_.stop(30000), 0) << log();
    EXPECT_EQ(log().find(kStarted), std::string::npos) << log();
}

}  // namespace
