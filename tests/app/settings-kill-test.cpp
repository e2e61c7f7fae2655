#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/app/settings-loop-values.h"
#include "tests/support/temp-dir.h"

namespace {

namespace fs = std::filesystem;

bool ParseStrict(const std::string& text, Json::Value* root, std::string* errs) {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), root, errs) && root->isObject();
}

void WaitForReady(const std::string& path) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        if (platform::ReadWholeFile(path, &text) && text.find("ready") != std::string::npos)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// kill -9 at random moments of a save loop, 200 times: the settings file
// always parses and each key holds a whole value, the old one or the new one,
// never going back.
TEST(SettingsKillTest, FileSurvivesKillDuringSaveLoop) {
    zutest::TempDir dir;
    const std::string config = dir.file("config");
    const std::string settings = config + "/ZuCam/settings.json";
    const std::string helper = platform::GetEnv("ZUCAM_BIN_DIR") + "/settings_save_loop";
    ASSERT_TRUE(platform::FileExists(helper)) << helper;

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayMs(1, 40);
    long lastSaveDir = 0;
    long lastDeviceName = 0;
    int changes = 0;
    constexpr int kKills = 200;
    for (int round = 0; round < kKills; ++round) {
        platform::ChildProcess child;
        platform::ChildProcess::Options options;
        options.argv = {helper};
        options.env = {{"XDG_CONFIG_HOME", config}, {"XDG_STATE_HOME", dir.file("state")}};
        options.stdoutPath = dir.file("helper.out");
        options.stderrPath = dir.file("helper.err");
        ASSERT_TRUE(child.start(options));
        // Every other round counts from the moment the loop is saving, so
        // loaded machines (a sanitizer build starts slowly) still kill it
        // mid-save; the rest counts from the start, loading included.
        if (round % 2 == 1)
            WaitForReady(dir.file("helper.out"));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ASSERT_TRUE(child.signal(true));
        ASSERT_EQ(child.wait(10000), 128 + 9) << "the save loop ended by itself";

        if (!platform::FileExists(settings)) {
            ASSERT_EQ(lastSaveDir, 0) << "the settings file vanished";
            continue;
        }
        std::string text;
        ASSERT_TRUE(platform::ReadWholeFile(settings, &text));
        Json::Value root;
        std::string errs;
        ASSERT_TRUE(ParseStrict(text, &root, &errs)) << "round " << round << ": " << errs;
        for (const std::string& key : root.getMemberNames()) {
            ASSERT_TRUE(root[key].isString()) << key;
        }
        if (root.isMember("cfg_save_dir")) {
            const std::string saveDir = root["cfg_save_dir"].asString();
            const long n = zutest::CounterOf(saveDir);
            if (n < 0) {
                ASSERT_EQ(saveDir, platform::HomeDir()) << "torn value in round " << round;
                ASSERT_EQ(lastSaveDir, 0);
            } else {
                ASSERT_GE(n, lastSaveDir) << "an older value came back";
                changes += n > lastSaveDir;
                lastSaveDir = n;
            }
        }
        if (root.isMember("cfg_device_name")) {
            const long n = zutest::CounterOfDeviceName(root["cfg_device_name"].asString());
            if (n >= 0) {
                ASSERT_GE(n, lastDeviceName);
                lastDeviceName = n;
            }
        }
    }
    // The loop did save between kills, so kills landed in the middle of saves.
    EXPECT_GT(changes, kKills / 8);
    int leftovers = 0;
    for (const auto& e : fs::directory_iterator(config + "/ZuCam")) {
        leftovers += e.path().filename().string().rfind("settings.json.tmp.", 0) == 0;
    }
    RecordProperty("torn_temporary_files", leftovers);
    std::printf("%d kills, %d rounds saved something, %d kills mid-write, last round %ld\n", kKills,
                changes, leftovers, lastSaveDir);
}

}  // namespace
