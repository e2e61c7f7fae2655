#include "devices/audio-driver-installer.h"

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "devices/audio-device-link.h"
#include "platform/fifo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-identity.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_debugMutex;
std::vector<std::string> g_debugLines;

void CaptureDebug(QtMsgType, const QMessageLogContext&, const QString& text) {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    g_debugLines.push_back(text.toStdString());
}

// The mark a source this process loads carries.
std::string OwnTag() {
    const long pid = platform::CurrentProcessId();
    return std::to_string(platform::CurrentUserId()) + "." + std::to_string(pid) + "." +
           std::to_string(platform::IdentifyProcess(pid).startTicks);
}

class AudioDriverInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tools_.useInThisProcess();
        {
            std::lock_guard<std::mutex> lock(g_debugMutex);
            g_debugLines.clear();
        }
        previousHandler_ = qInstallMessageHandler(CaptureDebug);
    }

    void TearDown() override { qInstallMessageHandler(previousHandler_); }

    void answer(const std::string& key, const std::string& ext, const std::string& text) {
        tools_.answer(key, ext, text);
    }

    // Every pactl run so far, as its argument lists.
    std::vector<std::vector<std::string>> calls() const { return tools_.calls("pactl"); }

    std::string debugText() const {
        std::lock_guard<std::mutex> lock(g_debugMutex);
        std::string all;
        for (const std::string& l : g_debugLines)
            all += l + "\n";
        return all;
    }

    std::string linkPath() const { return tools_.runtimeDir() + "/zucam/ZuAudioDeviceLink"; }

    zutest::TestHost host_;
    zutest::FakeTools tools_;
    QtMessageHandler previousHandler_ = nullptr;
};

}  // namespace

TEST_F(AudioDriverInstallerTest, MissingPactlMeansNotFoundAndNotInstalled) {
    zutest::TempDir empty;
    ::setenv("PATH", empty.path().c_str(), 1);
    const auto start = Clock::now();
    EXPECT_FALSE(findAudioDriver());
    EXPECT_FALSE(installAudioDriver());
    EXPECT_TRUE(removeAudioDriver());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(AudioDriverInstallerTest, HangingPactlIsCutOffAtTheLimit) {
    answer("list-sources", "sleep", "30");
    answer("load-module", "sleep", "30");
    answer("list-modules", "sleep", "30");
    auto start = Clock::now();
    EXPECT_FALSE(findAudioDriver(300));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    start = Clock::now();
    EXPECT_FALSE(installAudioDriver(300));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    start = Clock::now();
    EXPECT_TRUE(removeAudioDriver(300));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(host_.contains("ran past 300 ms"));
}

TEST_F(AudioDriverInstallerTest, FindWantsASourceOfExactlyThatName) {
    answer("list-sources", "out",
           "0\tauto_null.monitor\tmodule-null-sink.c\ts16le 2ch 44100Hz\tSUSPENDED\n"
           "1\tZuAudioDevice.2\tmodule-pipe-source.c\ts16le 1ch 48000Hz\tIDLE\n"
           "2\tXZuAudioDevice\tmodule-pipe-source.c\ts16le 1ch 48000Hz\tIDLE\n"
           "3\tmic ZuAudioDevice\tmodule-alsa-card.c\ts16le 1ch 48000Hz\tIDLE\n");
    EXPECT_FALSE(findAudioDriver());
    answer("list-sources", "out",
           "0\tauto_null.monitor\tmodule-null-sink.c\ts16le 2ch 44100Hz\tSUSPENDED\n"
           "5\tZuAudioDevice\tmodule-pipe-source.c\ts16le 1ch 48000Hz\tIDLE\n");
    EXPECT_TRUE(findAudioDriver());
    ASSERT_FALSE(calls().empty());
    EXPECT_EQ(calls().back(), (std::vector<std::string>{"list", "short", "sources"}));
    // A pactl that fails is no proof, whatever it printed.
    answer("list-sources", "rc", "1");
    EXPECT_FALSE(findAudioDriver());
}

TEST_F(AudioDriverInstallerTest, InstallLoadsThePipeSourceOverTheLinkPath) {
    answer("load-module", "out", "27\n");
    EXPECT_TRUE(installAudioDriver());
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(
        calls()[0],
        (std::vector<std::string>{
            "load-module", "module-pipe-source", "source_name=ZuAudioDevice", "file=" + linkPath(),
            "format=s16le", "rate=48000", "channels=1",
            "source_properties=\"device.description=Zu虚拟麦克风 zucam.owner=" + OwnTag() + "\""}));
    EXPECT_EQ(AudioDeviceLinkPath(), linkPath());
    // The directory is ready and private; the FIFO is the module's to create.
    EXPECT_TRUE(platform::IsPrivateDirectory(tools_.runtimeDir() + "/zucam"));
    EXPECT_EQ(platform::GetFifoPathState(linkPath()), platform::FifoPathState::kMissing);
    const std::string debug = debugText();
    EXPECT_NE(debug.find("0 out: \"27\\n\" err: \"\""), std::string::npos) << debug;
}

TEST_F(AudioDriverInstallerTest, InstallClearsAStaleFifoThatWouldMakeTheLoadFail) {
    ASSERT_TRUE(platform::MakeDirs(tools_.runtimeDir() + "/zucam", 0700));
    ASSERT_TRUE(platform::MakeFifo(linkPath()));
    answer("load-module", "out", "28\n");
    EXPECT_TRUE(installAudioDriver());
    EXPECT_EQ(platform::GetFifoPathState(linkPath()), platform::FifoPathState::kMissing);
    EXPECT_EQ(calls().size(), 1u);
}

TEST_F(AudioDriverInstallerTest, InstallLeavesAServedFifoAlone) {
    ASSERT_TRUE(platform::MakeDirs(tools_.runtimeDir() + "/zucam", 0700));
    ASSERT_TRUE(platform::MakeFifo(linkPath()));
    platform::FifoReader source;  // an already loaded source reads it
    ASSERT_TRUE(source.open(linkPath()));
    EXPECT_TRUE(installAudioDriver());
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(platform::GetFifoPathState(linkPath()), platform::FifoPathState::kFifo);
}

TEST_F(AudioDriverInstallerTest, InstallRefusesWhatItMustNotTouch) {
    // Something that is not a FIFO sits on the path.
    ASSERT_TRUE(platform::MakeDirs(tools_.runtimeDir() + "/zucam", 0700));
    ASSERT_GE(platform::WriteWholeFile(linkPath(), "keep me"), 0);
    EXPECT_FALSE(installAudioDriver());
    std::string content;
    ASSERT_TRUE(platform::ReadWholeFile(linkPath(), &content));
    EXPECT_EQ(content, "keep me");
    ASSERT_TRUE(platform::RemoveFile(linkPath()));
    // A directory others may write to would let them reach the microphone.
    fs::permissions(tools_.runtimeDir() + "/zucam", fs::perms::all);
    EXPECT_FALSE(installAudioDriver());
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(host_.contains("is not a private directory"));
}

TEST_F(AudioDriverInstallerTest, InstallFailsUnlessPactlPrintsAModuleIndex) {
    answer("load-module", "err", "Failure: Module initialization failed\n");
    answer("load-module", "rc", "1");
    EXPECT_FALSE(installAudioDriver());
    const std::string debug = debugText();
    EXPECT_NE(debug.find("1 out: \"\" err: \"Failure: Module initialization failed\\n\""),
              std::string::npos)
        << debug;
    answer("load-module", "rc", "0");
    answer("load-module", "out", "Welcome to PulseAudio\n");
    EXPECT_FALSE(installAudioDriver());
}

TEST_F(AudioDriverInstallerTest, RemoveUnloadsEveryZuAudioDeviceModuleAndNothingElse) {
    answer("list-modules", "out",
           "5\tmodule-null-sink\tsink_name=auto_null\t\n"
           "21\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/x format=s16le\t\n"
           "22\tmodule-pipe-source\tsource_name=ZuAudioDeviceOther file=/y\t\n"
           "23\tmodule-pipe-source\tfile=/z source_name=ZuAudioDevice rate=48000\t\n"
           "x4\tmodule-pipe-source\tsource_name=ZuAudioDevice\t\n");
    answer("unload-module", "err", "gone\n");
    ASSERT_TRUE(platform::MakeDirs(tools_.runtimeDir() + "/zucam", 0700));
    ASSERT_TRUE(platform::MakeFifo(linkPath()));  // left behind by the server
    EXPECT_TRUE(removeAudioDriver());
    const auto all = calls();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (std::vector<std::string>{"list", "short", "modules"}));
    EXPECT_EQ(all[1], (std::vector<std::string>{"unload-module", "21"}));
    EXPECT_EQ(all[2], (std::vector<std::string>{"unload-module", "23"}));
    EXPECT_EQ(platform::GetFifoPathState(linkPath()), platform::FifoPathState::kMissing);
    const std::string debug = debugText();
    EXPECT_NE(debug.find("out \"\" err \"gone\\ngone\\n\""), std::string::npos) << debug;
}

// Only a source a run of this user loaded and that run is gone: never one a
// living run (this one) uses, another user's, or one without the mark.
TEST_F(AudioDriverInstallerTest, OnlySourcesAGoneRunOfThisUserLoadedAreOrphans) {
    const std::string uid = std::to_string(platform::CurrentUserId());
    const std::string other = std::to_string(platform::CurrentUserId() + 1);
    const std::string gone = uid + ".4194300.77";
    answer("list-modules", "out",
           "30\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/a "
           "source_properties=\"device.description=Zu zucam.owner=" +
               gone +
               "\"\t\n"
               "31\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/b "
               "source_properties=\"device.description=Zu zucam.owner=" +
               OwnTag() +
               "\"\t\n"
               "32\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/c "
               "source_properties=\"zucam.owner=" +
               other +
               ".4194300.77\"\t\n"
               "33\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/d\t\n"
               "34\tmodule-pipe-source\tsource_name=Other source_properties=\"zucam.owner=" +
               gone + "\"\t\n");
    EXPECT_TRUE(findOrphanedAudioDriver());
    EXPECT_EQ(removeOrphanedAudioDriver(), 1);
    const auto all = calls();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), (std::vector<std::string>{"unload-module", "30"}));
    EXPECT_EQ(
        std::count(all.begin(), all.end(), std::vector<std::string>{"list", "short", "modules"}),
        2);
    EXPECT_EQ(all.size(), 3u);

    answer("list-modules", "out",
           "31\tmodule-pipe-source\tsource_name=ZuAudioDevice source_properties=\"zucam.owner=" +
               OwnTag() + "\"\t\n");
    EXPECT_FALSE(findOrphanedAudioDriver());
}

TEST_F(AudioDriverInstallerTest, CameraFilterRegistrationIsALoggedNoOp) {
    registerCameraFilters();
    EXPECT_EQ(host_.count("nothing to register"), 1);
    unregisterCameraFilters();
    EXPECT_EQ(host_.count("nothing to unregister"), 1);
    EXPECT_TRUE(calls().empty());
}
