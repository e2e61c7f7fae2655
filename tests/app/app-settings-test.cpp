#include "app-settings.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <string>

#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/test-host.h"

namespace {

Json::Value ReadSettings(const std::string& path) {
    std::string text;
    Json::Value root;
    if (!platform::ReadWholeFile(path, &text))
        return root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errs;
    reader->parse(text.data(), text.data() + text.size(), &root, &errs);
    return root;
}

std::string Stored(const std::string& key) {
    bool found = false;
    std::string text = CD->configStore->get(key, &found);
    return found ? text : "<missing>";
}

class AppSettingsTest : public ::testing::Test {
protected:
    zutest::TestHost host_;
};

TEST_F(AppSettingsTest, FirstStartCreatesAllNineKeysWithDefaults) {
    AppSettings settings;
    EXPECT_FALSE(settings.loaded());
    settings.LoadSettings();
    EXPECT_TRUE(settings.loaded());
    const Json::Value root = ReadSettings(host_.settingsPath());
    ASSERT_TRUE(root.isObject());
    EXPECT_EQ(root.size(), 9u);
    EXPECT_EQ(root["cfg_save_dir"].asString(), platform::HomeDir());
    EXPECT_EQ(root["cfg_device_name"].asString(), "ZuCam[" + platform::HostName() + "]");
    EXPECT_EQ(root["cfg_first_open"].asString(), "1");
    for (const char* key :
         {"cfg_shot_opendir", "cfg_window_stays_on_top", "cfg_open_vmic", "cfg_play_audio",
          "cfg_use_hardware_decoder", "cfg_use_hardware_render"}) {
        EXPECT_EQ(root[key].asString(), "0") << key;
    }
    const AppSettings::Values& v = settings.values;
    EXPECT_EQ(v.saveDir, platform::HomeDir());
    EXPECT_EQ(v.deviceName, DefaultDeviceName());
    EXPECT_TRUE(v.firstOpen);
    EXPECT_FALSE(v.shotOpenDir || v.windowStaysOnTop || v.openVirtualMic || v.playAudio ||
                 v.useHardwareDecoder || v.useHardwareRender);
    // The stream server sees the device name at once.
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), DefaultDeviceName());
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").kind(), 13);
}

TEST_F(AppSettingsTest, StoredValuesAreRead) {
    AppSettings::SetString("cfg_save_dir", "/data/视频");
    AppSettings::SetString("cfg_device_name", "desk \"A\"");
    AppSettings::SetBool("cfg_first_open", false);
    AppSettings::SetBool("cfg_play_audio", true);
    AppSettings::SetBool("cfg_use_hardware_render", true);
    AppSettings settings;
    settings.LoadSettings();
    EXPECT_EQ(settings.values.saveDir, "/data/视频");
    EXPECT_EQ(settings.values.deviceName, "desk \"A\"");
    EXPECT_FALSE(settings.values.firstOpen);
    EXPECT_TRUE(settings.values.playAudio);
    EXPECT_TRUE(settings.values.useHardwareRender);
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), "desk \"A\"");
}

TEST_F(AppSettingsTest, EmptySaveDirAndDeviceNameFallBackForThisRunOnly) {
    AppSettings::SetString("cfg_save_dir", "");
    AppSettings::SetString("cfg_device_name", "");
    AppSettings settings;
    settings.LoadSettings();
    EXPECT_EQ(settings.values.saveDir, platform::HomeDir());
    EXPECT_EQ(settings.values.deviceName, DefaultDeviceName());
    EXPECT_EQ(Stored("cfg_save_dir"), "");  // replaced only when saved
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), DefaultDeviceName());
    ASSERT_TRUE(settings.SaveSettings());
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_save_dir"].asString(), platform::HomeDir());
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_device_name"].asString(),
              DefaultDeviceName());
}

TEST_F(AppSettingsTest, FlagsOtherThanZeroOrOneReadAsTheirDefault) {
    AppSettings::SetString("cfg_first_open", "yes");
    AppSettings::SetString("cfg_shot_opendir", "2");
    AppSettings::SetString("cfg_open_vmic", "");
    AppSettings::SetString("cfg_window_stays_on_top", " 1");
    AppSettings settings;
    settings.LoadSettings();
    EXPECT_TRUE(settings.values.firstOpen);
    EXPECT_FALSE(settings.values.shotOpenDir);
    EXPECT_FALSE(settings.values.openVirtualMic);
    EXPECT_FALSE(settings.values.windowStaysOnTop);
    EXPECT_TRUE(host_.contains("setting cfg_first_open holds \"yes\", not 0 or 1; using 1"));
    EXPECT_TRUE(host_.contains("setting cfg_shot_opendir holds \"2\""));
    EXPECT_EQ(Stored("cfg_shot_opendir"), "2");  // read, not rewritten
}

TEST_F(AppSettingsTest, TypedAccess) {
    EXPECT_TRUE(AppSettings::GetBool("k_bool", true, false));
    EXPECT_EQ(Stored("k_bool"), "<missing>");
    EXPECT_FALSE(AppSettings::GetBool("k_bool", false, true));
    EXPECT_EQ(Stored("k_bool"), "0");
    EXPECT_FALSE(AppSettings::GetBool("k_bool", true, true));  // now found
    EXPECT_EQ(AppSettings::GetString("k_text", "dflt", false), "dflt");
    EXPECT_EQ(Stored("k_text"), "<missing>");
    EXPECT_EQ(AppSettings::GetString("k_text", "dflt", true), "dflt");
    EXPECT_EQ(Stored("k_text"), "dflt");
    EXPECT_TRUE(AppSettings::SetString("k_text", "line1\nline2"));
    EXPECT_EQ(AppSettings::GetString("k_text", "dflt"), "line1\nline2");
    EXPECT_TRUE(AppSettings::SetBool("k_bool", true));
    EXPECT_EQ(Stored("k_bool"), "1");
}

TEST_F(AppSettingsTest, SavingWritesOnlyTheSavedKeys) {
    AppSettings settings;
    settings.LoadSettings();
    AppSettings::Values& v = settings.values;
    v.saveDir = "/shots";
    v.deviceName = "renamed";
    v.firstOpen = false;
    v.shotOpenDir = true;
    v.windowStaysOnTop = true;
    v.openVirtualMic = true;
    v.useHardwareRender = true;
    v.playAudio = true;           // only read: never saved
    v.useHardwareDecoder = true;  // only read: never saved
    ASSERT_TRUE(settings.SaveSettings());
    const Json::Value root = ReadSettings(host_.settingsPath());
    EXPECT_EQ(root["cfg_save_dir"].asString(), "/shots");
    EXPECT_EQ(root["cfg_device_name"].asString(), "renamed");
    EXPECT_EQ(root["cfg_first_open"].asString(), "0");
    EXPECT_EQ(root["cfg_shot_opendir"].asString(), "1");
    EXPECT_EQ(root["cfg_window_stays_on_top"].asString(), "1");
    EXPECT_EQ(root["cfg_open_vmic"].asString(), "1");
    EXPECT_EQ(root["cfg_use_hardware_render"].asString(), "1");
    EXPECT_EQ(root["cfg_play_audio"].asString(), "0");
    EXPECT_EQ(root["cfg_use_hardware_decoder"].asString(), "0");
}

TEST_F(AppSettingsTest, NothingIsSavedBeforeLoading) {
    AppSettings::SetString("cfg_save_dir", "/precious");
    AppSettings settings;  // never loaded: its values are blanks
    EXPECT_FALSE(settings.SaveSettings());
    EXPECT_EQ(Stored("cfg_save_dir"), "/precious");
    EXPECT_EQ(Stored("cfg_first_open"), "<missing>");
}

TEST(AppSettingsWithoutHostTest, DefaultsAndNoCrash) {
    bg::UninitBridge();
    EXPECT_TRUE(AppSettings::GetBool("cfg_first_open", true));
    EXPECT_EQ(AppSettings::GetString("cfg_save_dir", "/h"), "/h");
    EXPECT_FALSE(AppSettings::SetBool("cfg_first_open", true));
    AppSettings::PublishDeviceName("x");
    EXPECT_EQ(DefaultDeviceName().rfind("ZuCam[", 0), 0u);
    EXPECT_EQ(DefaultDeviceName().back(), ']');
}

}  // namespace
