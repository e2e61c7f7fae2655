// CameraOutputProcess with a stand-in for zucam-camera: a script that says
// one line and then lives, or ends with a given code.
#include "camera-output-process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/process-list.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

class CameraOutputProcessTest : public ::testing::Test {
protected:
    // A stand-in that writes "zucam-camera: up <pid>" and then either sleeps
    // (exitCode < 0) or ends with exitCode.
    std::string standIn(int exitCode) {
        std::string path = dir_.file("fake-camera-" + std::to_string(exitCode + 1));
        std::string body =
            "#!/bin/sh\necho \"zucam-camera: up $$ $*\" >&2\nprintf 'no newline' >&2\n";
        body += exitCode < 0 ? "exec sleep 60\n" : "exit " + std::to_string(exitCode) + "\n";
        platform::WriteWholeFile(path, body);
        ::chmod(path.c_str(), 0755);
        return path;
    }
    CameraOutputProcess::Options options(int exitCode) {
        CameraOutputProcess::Options o;
        o.program = standIn(exitCode);
        o.watchIntervalMs = 20;
        return o;
    }
    bool waitForPid(CameraOutputProcess& output, long notThis) {
        for (int i = 0; i < 500; ++i) {
            long pid = output.pid();
            if (pid > 0 && pid != notThis && host_.contains("up " + std::to_string(pid)))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    zutest::TestHost host_;
    zutest::TempDir dir_;
};

TEST_F(CameraOutputProcessTest, StartedWithSinkAutoRestartedOnceThenLeftAlone) {
    CameraOutputProcess::Options o = options(-1);
    o.language = "zh";
    CameraOutputProcess output(o);
    ASSERT_TRUE(output.Start());
    ASSERT_TRUE(waitForPid(output, -1));
    long first = output.pid();
    EXPECT_TRUE(host_.contains("up " + std::to_string(first) + " --sink auto --lang zh"))
        << "its lines reach the log, and it is told the language";

    ASSERT_TRUE(platform::TerminateProcess(first));
    ASSERT_TRUE(waitForPid(output, first)) << "started again after it died";
    long second = output.pid();
    EXPECT_TRUE(host_.contains("up " + std::to_string(second) + " --sink auto --lang zh"));
    EXPECT_TRUE(host_.contains("no newline")) << "a last line without a newline is kept";
    EXPECT_TRUE(host_.contains("starting it again"));

    ASSERT_TRUE(platform::TerminateProcess(second));
    ASSERT_TRUE(host_.waitFor("it is not started again", 10000));
    EXPECT_EQ(output.pid(), -1);
    EXPECT_EQ(host_.count("camera output started"), 2);
    output.Stop();
}

TEST_F(CameraOutputProcessTest, StopEndsTheChildAndLeavesNothingBehind) {
    long pid = -1;
    {
        CameraOutputProcess output(options(-1));
        ASSERT_TRUE(output.Start());
        ASSERT_TRUE(waitForPid(output, -1));
        pid = output.pid();
        output.Stop();
        EXPECT_EQ(output.pid(), -1);
        output.Stop();
    }
    EXPECT_FALSE(platform::ProcessExists(pid));
    EXPECT_EQ(host_.count("camera output started"), 1) << "a stop is no death to restart from";
}

TEST_F(CameraOutputProcessTest, NoRestartWhenTheMachineHasNoCameraOutput) {
    CameraOutputProcess output(options(8));
    ASSERT_TRUE(output.Start());
    ASSERT_TRUE(host_.waitFor("cannot work on this machine", 10000));
    EXPECT_EQ(host_.count("camera output started"), 1);
    EXPECT_TRUE(host_.contains("no newline"));
}

TEST_F(CameraOutputProcessTest, AMissingProgramIsOnlyLogged) {
    CameraOutputProcess::Options o;
    o.program = dir_.file("no-such-camera");
    CameraOutputProcess output(o);
    EXPECT_FALSE(output.Start());
    EXPECT_EQ(output.pid(), -1);
    EXPECT_TRUE(host_.contains("no-such-camera is missing"));
}

}  // namespace
