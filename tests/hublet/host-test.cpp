#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "hublet/app-info.h"
#include "hublet/clock.h"
#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/signal-bus.h"
#include "hublet/value-store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

using namespace std::chrono_literals;

TEST(BridgeTest, UpDownAndAgain) {
    zutest::TestHost host;
    bg::Interface* first = CD;
    ASSERT_NE(first, nullptr);
    EXPECT_NE(CD->appInfo, nullptr);
    EXPECT_NE(CD->logSink, nullptr);
    EXPECT_NE(CD->configStore, nullptr);
    EXPECT_NE(CD->valueStore, nullptr);
    EXPECT_NE(CD->signalBus, nullptr);
    EXPECT_NE(CD->clock, nullptr);
    EXPECT_EQ(bg::InitBridge(0, nullptr), 0);
    EXPECT_EQ(CD, first);  // a second start changes nothing
    EXPECT_EQ(CD->configStore->path(), host.settingsPath());
    bg::UninitBridge();
    EXPECT_EQ(CD, nullptr);
    bg::UninitBridge();  // twice is fine
    EXPECT_EQ(bg::InitBridge(0, nullptr), 0);
    EXPECT_NE(CD, nullptr);
}

TEST(BridgeTest, SettingsLiveUnderXdgConfigHome) {
    zutest::TestHost host;
    ASSERT_TRUE(CD->configStore->set("cfg_x", "1"));
    EXPECT_TRUE(platform::FileExists(host.settingsPath()));
    bg::UninitBridge();
    bg::InitBridge(0, nullptr);
    bool found = false;
    EXPECT_EQ(CD->configStore->get("cfg_x", &found), "1");
    EXPECT_TRUE(found);
}

TEST(BridgeTest, AppInfoKeepsTheIdentity) {
    zutest::TestHost host;
    CD->appInfo->setName("ZuCam");
    CD->appInfo->setVersion("1.0.7");
    CD->appInfo->setDate("2023.07.13");
    CD->appInfo->setWebSite("https://zucam.example");
    EXPECT_EQ(CD->appInfo->name(), "ZuCam");
    EXPECT_EQ(CD->appInfo->version(), "1.0.7");
    EXPECT_EQ(CD->appInfo->date(), "2023.07.13");
    EXPECT_EQ(CD->appInfo->webSite(), "https://zucam.example");
}

TEST(ModulesTest, CountsOnlyModulesThatLoadAndInitialise) {
    zutest::TestHost host;
    EXPECT_EQ(bg::LoadModules(nullptr, 0, true), 0);
    const char* const none[] = {"zucam-no-such-module"};
    EXPECT_EQ(bg::LoadModules(none, 1, true), 0);

    const char* const good[] = {"zucamtestmodule"};
    EXPECT_EQ(bg::LoadModules(good, 1, true), 1);
    EXPECT_TRUE(CD->valueStore->get("test_module.loaded").toBool());

    const char* const mixed[] = {"zucamtestbadmodule", "", nullptr, "../modules/zucamtestmodule",
                                 "zucam-no-such-module"};
    EXPECT_EQ(bg::LoadModules(mixed, 5, true), 0);
    EXPECT_TRUE(CD->valueStore->get("test_module.bad_init_ran").toBool());
    EXPECT_TRUE(host.contains("zucamtestbadmodule has no working bg_module_init"));

    // Loaded without its init call it still counts.
    const char* const bad[] = {"zucamtestbadmodule"};
    EXPECT_EQ(bg::LoadModules(bad, 1, false), 1);
}

TEST(ValueStoreTest, NamedValues) {
    zutest::TestHost host;
    EXPECT_TRUE(CD->valueStore->get("Video.ScaleShow", bg::Value(true)).toBool());
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), "");
    CD->valueStore->set("zucam_device_name", bg::Value("phone desk"));
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), "phone desk");

    std::atomic<bool> stop{false};
    std::thread writer([&stop] {
        for (int i = 0; !stop; ++i)
            CD->valueStore->set("n", bg::Value(i));
    });
    for (int i = 0; i < 2000; ++i)
        EXPECT_GE(CD->valueStore->get("n", bg::Value(0)).toInt(), 0);
    stop = true;
    writer.join();
}

TEST(SignalBusTest, EmitReachesHandlersOfThatNameOnly) {
    zutest::TestHost host;
    EXPECT_EQ(CD->signalBus->emit("VPSignal.vercheck", bg::Value(1)), 0);  // none registered
    int seen = 0;
    int other = 0;
    int id = CD->signalBus->connect("VPSignal.vercheck",
                                    [&seen](const bg::Value& v) { seen += v.toInt(); });
    CD->signalBus->connect("other", [&other](const bg::Value&) { ++other; });
    EXPECT_EQ(CD->signalBus->emit("VPSignal.vercheck", bg::Value(5)), 1);
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(other, 0);
    CD->signalBus->disconnect(id);
    EXPECT_EQ(CD->signalBus->emit("VPSignal.vercheck", bg::Value(5)), 0);
    EXPECT_EQ(seen, 5);
}

TEST(SignalBusTest, HandlersMayEmitAndConnect) {
    zutest::TestHost host;
    int inner = 0;
    CD->signalBus->connect("outer", [&inner](const bg::Value&) {
        CD->signalBus->connect("inner", [&inner](const bg::Value&) { ++inner; });
        CD->signalBus->emit("inner", bg::Value());
    });
    EXPECT_EQ(CD->signalBus->emit("outer", bg::Value()), 1);
    EXPECT_EQ(inner, 1);
}

TEST(ClockTest, FormatsAndCounts) {
    zutest::TestHost host;
    EXPECT_TRUE(std::regex_match(CD->clock->format("%Y%m%d%H%M%S"), std::regex(R"(\d{14})")));
    EXPECT_TRUE(std::regex_match(CD->clock->format("%m%d-%H:%M:%S"),
                                 std::regex(R"(\d{4}-\d{2}:\d{2}:\d{2})")));
    const int64_t a = CD->clock->now(1);
    std::this_thread::sleep_for(20ms);
    const int64_t b = CD->clock->now(1);
    EXPECT_GE(b - a, 20000);
    EXPECT_LT(b - a, 5000000);
    // The wall clock reads microseconds since the epoch.
    EXPECT_GT(CD->clock->now(0), int64_t{1600000000} * 1000000);
}

class OpenLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The opener records its argument and its pid, then lingers so that a
        // caller that waited for it would be caught.
        opener_ = dir_.file("opener.sh");
        std::string script = "#!/bin/sh\necho $$ > '" + dir_.file("pid") +
                             "'\nprintf '%s' \"$1\" > '" + dir_.file("arg.tmp") + "'\nmv '" +
                             dir_.file("arg.tmp") + "' '" + dir_.file("arg") + "'\nexec sleep 20\n";
        platform::WriteWholeFile(opener_, script);
        std::filesystem::permissions(opener_, std::filesystem::perms::owner_all);
        ::setenv("ZUCAM_OPEN_COMMAND", opener_.c_str(), 1);
    }
    void TearDown() override {
        std::string pid;
        if (platform::ReadWholeFile(dir_.file("pid"), &pid) && std::atol(pid.c_str()) > 0) {
            ::kill(static_cast<pid_t>(std::atol(pid.c_str())), SIGKILL);
        }
        ::unsetenv("ZUCAM_OPEN_COMMAND");
    }
    std::string waitForArgument() {
        std::string arg;
        for (int i = 0; i < 500; ++i) {
            if (platform::ReadWholeFile(dir_.file("arg"), &arg))
                return arg;
            std::this_thread::sleep_for(10ms);
        }
        return "<opener never ran>";
    }

    zutest::TestHost host_;
    zutest::TempDir dir_;
    std::string opener_;
};

TEST_F(OpenLocationTest, OpensTheFolderHoldingTheFileWithoutShellOrWaiting) {
    const std::string folder = dir_.file("shots $(touch pwned); 'x' & y");
    std::filesystem::create_directories(folder);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CD->clock->openLocation(folder + "/ZuCam_shot[20230713101010].png"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(waitForArgument(), folder);
    EXPECT_FALSE(platform::FileExists(dir_.file("pwned")));
    EXPECT_FALSE(platform::FileExists("pwned"));
}

TEST_F(OpenLocationTest, AFolderIsOpenedItself) {
    EXPECT_TRUE(CD->clock->openLocation(dir_.path()));
    EXPECT_EQ(waitForArgument(), dir_.path());
}

TEST_F(OpenLocationTest, MissingOpenerOrPathFails) {
    EXPECT_FALSE(CD->clock->openLocation(""));
    ::setenv("ZUCAM_OPEN_COMMAND", dir_.file("no-such-opener").c_str(), 1);
    EXPECT_FALSE(CD->clock->openLocation(dir_.path()));
}

}  // namespace
