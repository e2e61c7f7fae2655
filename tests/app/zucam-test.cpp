#include "zucam.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/app/fake-main-window.h"
#include "tests/support/test-host.h"

// Qt's offscreen platform, which these tests run on, leaks at exit.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_LSAN_QT_SUPPRESSIONS;
}

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

class ZuCamTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An instance name of its own per case: cases run in parallel.
        QCoreApplication::setApplicationName(
            QString("zucam-test-%1-%2")
                .arg(::getpid())
                .arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ZuCam::SetMainWindowFactory(nullptr);
    }
    void TearDown() override {
        app_.reset();
        ZuCam::SetMainWindowFactory(nullptr);
    }

    ZuCam& makeApp() {
        app_ = std::make_unique<ZuCam>(argc_, argv_);
        return *app_;
    }
    void useFakeWindow() {
        ZuCam::SetMainWindowFactory([this] {
            window_ = new FakeMainWindow;
            return window_.data();
        });
    }
    // Runs the event loop (Initialize first), then `body`, then quits.
    int runThen(const std::function<void()>& body) {
        QTimer::singleShot(0, app_.get(), [this, body] {
            body();
            app_->quit();
        });
        return app_->exec();
    }

    zutest::TestHost host_;
    int argc_ = 1;
    char name_[16] = "zucam_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<ZuCam> app_;
    QPointer<FakeMainWindow> window_;
};

TEST_F(ZuCamTest, WithoutAMainWindowStartUpEndsWithCodeOne) {
    ZuCam& app = makeApp();
    ASSERT_TRUE(app.isPrimary());
    EXPECT_EQ(app.exec(), 1);
    EXPECT_TRUE(host_.contains("[E][bg] zucam.cpp"));
    EXPECT_TRUE(host_.contains("\"----> loaded modules count=0\""));
    EXPECT_TRUE(host_.contains("the main window could not be created"));
    EXPECT_EQ(ReadSettings(host_.settingsPath()).size(), 9u);
    EXPECT_EQ(app.mainWindow, nullptr);
}

TEST_F(ZuCamTest, InitializeLoadsSettingsMeasuresTheScreenAndShowsTheWindow) {
    CD->configStore->set("cfg_window_stays_on_top", "1");
    CD->configStore->set("cfg_device_name", "桌面");
    useFakeWindow();
    ZuCam& app = makeApp();
    EXPECT_EQ(runThen([&] {
                  ASSERT_TRUE(app.mainWindow);
                  EXPECT_TRUE(app.mainWindow->isVisible());
                  EXPECT_TRUE(app.mainWindow->windowFlags() & Qt::WindowStaysOnTopHint);
                  EXPECT_EQ(app.deviceName, QString::fromUtf8("桌面"));
                  EXPECT_EQ(app.DeviceName(), "桌面");
                  const QScreen* screen = QGuiApplication::primaryScreen();
                  ASSERT_NE(screen, nullptr);
                  EXPECT_DOUBLE_EQ(app.scaleFactor, screen->logicalDotsPerInch() / 96.0);
              }),
              0);
    EXPECT_FALSE(host_.contains("message for the user"));
}

TEST_F(ZuCamTest, SettingsAreSavedAtExitAndTheWindowIsDeleted) {
    CD->configStore->set("cfg_save_dir", "");
    useFakeWindow();
    ZuCam& app = makeApp();
    runThen([&] {
        EXPECT_EQ(app.saveDir.toStdString(), platform::HomeDir());
        app.saveDir = "/videos";
        app.firstOpen = false;
        app.shotOpenDir = true;
        app.playAudio = true;  // only read, never saved
        app.useHardwareDecoder = true;
        app.SetUseHardwareRender(true);
        app.SetDeviceName("renamed");
    });
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_save_dir"].asString(), "");
    app_.reset();
    EXPECT_TRUE(window_.isNull());
    const Json::Value root = ReadSettings(host_.settingsPath());
    EXPECT_EQ(root["cfg_save_dir"].asString(), "/videos");
    EXPECT_EQ(root["cfg_device_name"].asString(), "renamed");
    EXPECT_EQ(root["cfg_first_open"].asString(), "0");
    EXPECT_EQ(root["cfg_shot_opendir"].asString(), "1");
    EXPECT_EQ(root["cfg_use_hardware_render"].asString(), "1");
    EXPECT_EQ(root["cfg_play_audio"].asString(), "0");
    EXPECT_EQ(root["cfg_use_hardware_decoder"].asString(), "0");
}

TEST_F(ZuCamTest, AnInstanceThatNeverInitialisedSavesNothing) {
    // A secondary instance never runs the event loop, so never initialises.
    CD->configStore->set("cfg_save_dir", "/precious");
    makeApp();
    app_.reset();
    const Json::Value root = ReadSettings(host_.settingsPath());
    EXPECT_EQ(root.size(), 1u);
    EXPECT_EQ(root["cfg_save_dir"].asString(), "/precious");
}

TEST_F(ZuCamTest, MissingMicrophoneShowsOnlyTheOpenFailureAndSavesFalse) {
    CD->configStore->set("cfg_open_vmic", "1");
    useFakeWindow();
    ZuCam& app = makeApp();
    runThen([&] { EXPECT_FALSE(app.openVirtualMic); });
    EXPECT_EQ(host_.count("无法打开虚拟麦克风设备！"), 1);
    EXPECT_FALSE(host_.contains("未安装虚拟麦克风驱动"));
    app_.reset();
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_open_vmic"].asString(), "0");
}

TEST_F(ZuCamTest, MicrophoneCallsAreHonestAndThreadSafe) {
    ZuCam& app = makeApp();
    app.openVirtualMic = true;
    EXPECT_FALSE(app.OpenVirtualMic(true));
    EXPECT_FALSE(app.openVirtualMic);
    EXPECT_TRUE(host_.contains("无法打开虚拟麦克风设备！"));
    const uint8_t pcm[64] = {};
    std::thread writer([&app, &pcm] {
        for (int i = 0; i < 2000; ++i)
            app.WriteVirtualMic(pcm, 16, 48000, 2);
    });
    for (int i = 0; i < 2000; ++i)
        app.CloseVirtualMic();
    writer.join();
    EXPECT_EQ(app.virtualMic, nullptr);
    EXPECT_FALSE(app.openVirtualMic);
}

TEST_F(ZuCamTest, ShowMessageRestoresTheWindow) {
    useFakeWindow();
    ZuCam& app = makeApp();
    runThen([&] {
        ASSERT_TRUE(app.mainWindow);
        app.mainWindow->showMinimized();
        ASSERT_TRUE(app.mainWindow->isMinimized());
        emit app.receivedMessage(2, "hide");
        EXPECT_TRUE(app.mainWindow->isMinimized());
        emit app.receivedMessage(2, "xxshowyy");
        EXPECT_FALSE(app.mainWindow->isMinimized());
        EXPECT_TRUE(app.mainWindow->isVisible());
    });
}

TEST_F(ZuCamTest, WindowCallsByName) {
    useFakeWindow();
    ZuCam& app = makeApp();
    app.UpdateVolumn(4);  // no window yet: nothing happens
    app.SetConnectMode(1);
    EXPECT_EQ(app.connectMode, 1);
    runThen([&] {
        ASSERT_TRUE(window_);
        app.SetConnectMode(0);
        app.SetConnectMode(1);
        EXPECT_EQ(window_->modes, (std::vector<int>{0, 1}));
        app.UpdateVolumn(3);  // GUI thread: at once
        EXPECT_EQ(window_->volumes, std::vector<int>{3});
        std::thread audio([&app] { app.UpdateVolumn(7); });
        audio.join();
        for (int i = 0; i < 100 && window_->volumes.size() < 2; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_EQ(window_->volumes, (std::vector<int>{3, 7}));
        app.SetWindowStaysOnTop(true);
        EXPECT_TRUE(window_->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(window_->isVisible());
        app.SetWindowStaysOnTop(false);
        EXPECT_FALSE(window_->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(window_->isVisible());
        EXPECT_FALSE(app.windowStaysOnTop);
    });
}

TEST_F(ZuCamTest, AWindowWithoutTheModeSwitchIsReported) {
    ZuCam::SetMainWindowFactory([] { return new QWidget; });
    ZuCam& app = makeApp();
    runThen([&] { app.SetConnectMode(1); });
    EXPECT_TRUE(host_.contains("cannot switch the connection mode to 1"));
}

TEST_F(ZuCamTest, ServesTheConnectionServersAsTheirContext) {
    ZuCam& app = makeApp();
    ASSERT_EQ(AppContext::instance(), &app);
    EXPECT_FALSE(app.IsRecording());
    app.recording = true;
    EXPECT_TRUE(AppContext::instance()->IsRecording());
    app.playAudio = true;
    EXPECT_TRUE(AppContext::instance()->PlayAudio());

    app.SetDeviceName(QString::fromUtf8("新名字"));
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), "新名字");
    std::string fromServerThread;
    std::thread server(
        [&fromServerThread] { fromServerThread = AppContext::instance()->DeviceName(); });
    server.join();
    EXPECT_EQ(fromServerThread, "新名字");

    EXPECT_EQ(app.AdbTools(), nullptr);
    EXPECT_TRUE(host_.contains("USB support (the ADB tools) is not part of this build"));
    app.ReleaseAdbTools();
    app_.reset();
    EXPECT_EQ(AppContext::instance(), nullptr);
}

}  // namespace
