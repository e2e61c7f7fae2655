#include "devices/device-session.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

using platform::ProcessIdentity;

// A pretend world: a sound server with or without the source, and the adb
// servers that run, each {pid, start time}.
struct World {
    bool source = false;
    bool orphaned = false;  // the source was left by a killed run of ours
    bool loadWorks = true;
    bool linkWorks = true;
    int loads = 0;
    int unloads = 0;
    std::vector<ProcessIdentity> servers;
    std::vector<long> ended;
    zutest::TempDir dir;

    DeviceSession::Tools tools() {
        DeviceSession::Tools t;
        t.findMicSource = [this] { return source; };
        t.loadMicSource = [this] {
            ++loads;
            source = loadWorks;
            return loadWorks;
        };
        t.unloadMicSource = [this] {
            ++unloads;
            source = false;
            orphaned = false;
        };
        t.findOrphanedMicSource = [this] { return source && orphaned; };
        t.openMicLink = [this] {
            // Any non-null holder will do: nothing is written through it.
            return linkWorks ? std::shared_ptr<VirtaulAudioDeviceManager>(
                                   reinterpret_cast<VirtaulAudioDeviceManager*>(this),
                                   [](VirtaulAudioDeviceManager*) {})
                             : nullptr;
        };
        t.listAdbServers = [this] { return servers; };
        t.endProcess = [this](long pid) {
            ended.push_back(pid);
            for (auto it = servers.begin(); it != servers.end(); ++it) {
                if (it->pid == pid) {
                    servers.erase(it);
                    return true;
                }
            }
            return false;
        };
        t.adbRecordPath = dir.file("runtime/zucam/adb-server");
        return t;
    }
};

using Mic = DeviceSession::MicResult;
std::shared_ptr<VirtaulAudioDeviceManager> link;
const auto kYes = [] { return true; };
const auto kNo = [] { return false; };

TEST(DeviceSessionTest, AMicrophoneSourceThatWasThereStaysAfterwards) {
    zutest::TestHost host;
    World w;
    w.source = true;
    {
        DeviceSession session(w.tools());
        EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kOpened);
        EXPECT_NE(link, nullptr);
        session.ReleaseMicSource();
    }
    EXPECT_EQ(w.loads, 0);
    EXPECT_EQ(w.unloads, 0);
    EXPECT_TRUE(w.source);
}

TEST(DeviceSessionTest, ASourceThisRunLoadedIsUnloadedOnceAtExit) {
    zutest::TestHost host;
    World w;
    DeviceSession session(w.tools());
    EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kOpened);
    // Opening again (the settings switch) loads nothing more.
    EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kOpened);
    EXPECT_EQ(w.loads, 1);
    session.ReleaseMicSource();
    session.ReleaseMicSource();
    EXPECT_EQ(w.unloads, 1);
    EXPECT_FALSE(w.source);
}

TEST(DeviceSessionTest, ASourceAKilledRunLeftIsAdoptedAndUnloadedAtExit) {
    zutest::TestHost host;
    World w;
    w.source = true;
    w.orphaned = true;
    {
        DeviceSession session(w.tools());
        EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kOpened);
        EXPECT_TRUE(session.LoadedMicSource());
        session.ReleaseMicSource();
    }
    EXPECT_EQ(w.loads, 0);
    EXPECT_EQ(w.unloads, 1);
    EXPECT_FALSE(w.source);
}

TEST(DeviceSessionTest, AMissingSourceIsLoadedOnlyWhenAskedAndAgreed) {
    zutest::TestHost host;
    World w;
    DeviceSession session(w.tools());
    EXPECT_EQ(session.OpenVirtualMic(nullptr, &link), Mic::kNotInstalled);
    EXPECT_EQ(session.OpenVirtualMic(kNo, &link), Mic::kDeclined);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(w.loads, 0);
    w.loadWorks = false;
    EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kInstallFailed);
    session.ReleaseMicSource();
    EXPECT_EQ(w.unloads, 0);  // nothing was loaded
    // Loaded, but the link does not open: still ours to unload.
    w.loadWorks = true;
    w.linkWorks = false;
    EXPECT_EQ(session.OpenVirtualMic(kYes, &link), Mic::kOpenFailed);
    EXPECT_EQ(link, nullptr);
    session.ReleaseMicSource();
    EXPECT_EQ(w.unloads, 1);
}

TEST(DeviceSessionTest, AnAdbServerSomeoneElseRunsIsNeverEnded) {
    zutest::TestHost host;
    World w;
    w.servers = {{4242, 77}};  // a developer's
    DeviceSession session(w.tools());
    EXPECT_EQ(session.EndAdbServer(), 0);  // before any adb use
    session.BeforeAdbUse();
    session.BeforeAdbUse();
    EXPECT_EQ(session.EndAdbServer(), 0);
    EXPECT_TRUE(w.ended.empty());
}

TEST(DeviceSessionTest, TheAdbServerThisRunStartedIsEndedAtExit) {
    zutest::TestHost host;
    World w;
    DeviceSession session(w.tools());
    session.BeforeAdbUse();     // none runs yet
    w.servers = {{1200, 900}};  // the first adb call started one
    session.BeforeAdbUse();     // noticed and remembered
    EXPECT_TRUE(platform::FileExists(w.tools().adbRecordPath));
    EXPECT_EQ(session.EndAdbServer(), 1);
    EXPECT_EQ(w.ended, (std::vector<long>{1200}));
    EXPECT_FALSE(platform::FileExists(w.tools().adbRecordPath));
}

TEST(DeviceSessionTest, AServerSomeoneStartsWhileZuCamRunsIsNotTakenForOurs) {
    zutest::TestHost host;
    World w;
    DeviceSession::Tools tools = w.tools();
    tools.selfPid = 500;
    DeviceSession session(tools);
    session.BeforeAdbUse();
    // One server came from our adb call (adopted by us), one from a terminal.
    w.servers = {{1200, 900, 500}, {1300, 950, 1}};
    session.BeforeAdbUse();
    EXPECT_EQ(session.EndAdbServer(), 1);
    EXPECT_EQ(w.ended, (std::vector<long>{1200}));
}

TEST(DeviceSessionTest, AServerLeftByACrashedRunIsEndedByTheNextButNotAStranger) {
    zutest::TestHost host;
    World w;
    {
        DeviceSession crashed(w.tools());
        crashed.BeforeAdbUse();
        w.servers = {{1200, 900}};
        crashed.BeforeAdbUse();
        // ... and the run dies without EndAdbServer.
    }
    ASSERT_TRUE(platform::FileExists(w.tools().adbRecordPath));
    {
        // The next run's window asks for the cleanup before any adb use.
        DeviceSession next(w.tools());
        EXPECT_EQ(next.EndAdbServer(), 1);
        EXPECT_EQ(w.ended, (std::vector<long>{1200}));
    }
    // A remembered id that now belongs to a later process is left alone.
    platform::WriteWholeFile(w.tools().adbRecordPath, "1300 900\n");
    w.servers = {{1300, 950}};
    w.ended.clear();
    DeviceSession third(w.tools());
    third.BeforeAdbUse();
    EXPECT_EQ(third.EndAdbServer(), 0);
    EXPECT_TRUE(w.ended.empty());
}

}  // namespace
