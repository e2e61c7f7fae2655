#include "zucam.h"

#include "phone-session.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "devices/virtaul-audio-device-manager.h"
#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/app/fake-main-window.h"
#include "tests/support/fake-tools.h"
#include "tests/support/test-host.h"
#include "uninstall.h"

// Qt's offscreen platform, which these tests run on, leaks at exit.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_LSAN_QT_SUPPRESSIONS;
}

namespace {

using Strings = std::vector<std::string>;
using Calls = std::vector<Strings>;
using MicPtr = std::shared_ptr<VirtaulAudioDeviceManager>;

const char* const kInstallQuestion =
    "未安装虚拟麦克风驱动，需要先安装驱动才可使用，是否安装？\n"
    "安装后可能需要重启电脑才能正常使用。";
// Each says why and what to do below what happened.
const char* const kInstallFailed =
    "虚拟麦克风驱动安装失败\n"
    "没有 PulseAudio 或 PipeWire 声音服务应答（pactl 无法加载虚拟麦克风）。\n"
    "请安装并启动 PulseAudio，或 PipeWire 和 pipewire-pulse，然后重新打开虚拟麦克风。";
const char* const kCannotOpen =
    "无法打开虚拟麦克风设备！\n"
    "声音服务没有读取虚拟麦克风（ZuAudioDevice）。\n"
    "请确认 PulseAudio 或 PipeWire（pipewire-pulse）正在运行，然后在设置中重新打开虚拟麦克风。";
// What "pactl list short sources" prints when the virtual microphone is loaded.
const char* const kSourcesWithMic =
    "0\tauto_null.monitor\tmodule-null-sink.c\ts16le 2ch 44100Hz\tSUSPENDED\n"
    "5\tZuAudioDevice\tmodule-pipe-source.c\ts16le 1ch 48000Hz\tIDLE\n";
const Strings kListSources = {"list", "short", "sources"};

// Answers in place of the user, records what the user would have been shown,
// and can hand out microphone links that need no sound server.
class ScriptedZuCam : public ZuCam {
public:
    using ZuCam::SetOpenVirtualMic;
    using ZuCam::ZuCam;

    bool answerOk = false;
    Strings questions;
    Strings messages;
    std::function<MicPtr()> micFactory;  // unset: the real link

protected:
    bool AskQuestion(const QString& text) override {
        questions.push_back(text.toStdString());
        return answerOk;
    }
    void ShowMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    MicPtr CreateVirtualMic() override {
        return micFactory ? micFactory() : ZuCam::CreateVirtualMic();
    }
};

// Interleaved 16-bit PCM, `samples` per channel.
std::vector<int16_t> Tone(int samples, int channels) {
    std::vector<int16_t> pcm(static_cast<size_t>(samples) * channels);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>((i % 100) * 300 - 15000);
    return pcm;
}

// As the main window hands audio on: the bytes of the frame's first plane.
const uint8_t* Bytes(const std::vector<int16_t>& pcm) {
    return reinterpret_cast<const uint8_t*>(pcm.data());
}

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
        // No pactl or adb of the machine is ever run: no real sound server
        // or phone is touched. No driver is found unless a case says so.
        tools_.useInThisProcess();
    }
    void TearDown() override {
        app_.reset();
        ZuCam::SetMainWindowFactory(nullptr);
    }

    ScriptedZuCam& makeApp() {
        app_ = std::make_unique<ScriptedZuCam>(argc_, argv_);
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
    Calls pactlCalls() const { return tools_.calls("pactl"); }
    Calls adbCalls() const { return tools_.calls("adb"); }

    zutest::TestHost host_;
    zutest::FakeTools tools_;
    int argc_ = 1;
    char name_[16] = "zucam_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<ScriptedZuCam> app_;
    QPointer<FakeMainWindow> window_;
};

TEST_F(ZuCamTest, WithoutAMainWindowStartUpEndsWithCodeOne) {
    ScriptedZuCam& app = makeApp();
    ASSERT_TRUE(app.isPrimary());
    EXPECT_EQ(app.exec(), 1);
    EXPECT_TRUE(host_.contains("[E][bg] zucam.cpp"));
    EXPECT_TRUE(host_.contains("\"----> loaded modules count=0\""));
    EXPECT_TRUE(host_.contains("the main window could not be created"));
    EXPECT_EQ(ReadSettings(host_.settingsPath()).size(), 9u);
    EXPECT_EQ(app.mainWindow, nullptr);
    // The camera filter is registered at every start, window or not.
    EXPECT_EQ(host_.count("camera filters: nothing to register"), 1);
}

TEST_F(ZuCamTest, InitializeLoadsSettingsMeasuresTheScreenAndShowsTheWindow) {
    CD->configStore->set("cfg_window_stays_on_top", "1");
    CD->configStore->set("cfg_device_name", "桌面");
    useFakeWindow();
    ScriptedZuCam& app = makeApp();
    EXPECT_EQ(runThen([&] {
                  ASSERT_TRUE(app.mainWindow);
                  EXPECT_TRUE(app.mainWindow->isVisible());
                  EXPECT_TRUE(app.mainWindow->windowFlags() & Qt::WindowStaysOnTopHint);
                  EXPECT_EQ(app.deviceName(), QString::fromUtf8("桌面"));
                  EXPECT_EQ(app.DeviceName(), "桌面");
                  const QScreen* screen = QGuiApplication::primaryScreen();
                  ASSERT_NE(screen, nullptr);
                  EXPECT_DOUBLE_EQ(app.scaleFactor, screen->logicalDotsPerInch() / 96.0);
              }),
              0);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_TRUE(app.questions.empty());
    EXPECT_EQ(host_.count("camera filters: nothing to register"), 1);
    // Neither hardware detection nor the microphone unless the settings ask.
    EXPECT_FALSE(host_.contains("is unsupported"));
    EXPECT_FALSE(host_.contains("is supported"));
    EXPECT_TRUE(pactlCalls().empty());
}

TEST_F(ZuCamTest, HardwareDecodingSettingRunsTheDetectionAtStart) {
    CD->configStore->set("cfg_use_hardware_decoder", "1");
    useFakeWindow();
    ScriptedZuCam& app = makeApp();
    runThen([&] { EXPECT_TRUE(app.useHardwareDecoder()); });
    // One verdict per candidate of both tables.
    const int candidates = static_cast<int>(HardwareCodecDetector::EncoderCandidates().size() +
                                            HardwareCodecDetector::DeviceTypeCandidates().size());
    EXPECT_EQ(host_.count(" is supported\"") + host_.count(" is unsupported\""), candidates);
}

TEST_F(ZuCamTest, SettingsAreSavedWhenChangedAndAtExitAndTheWindowIsDeleted) {
    CD->configStore->set("cfg_save_dir", "");
    useFakeWindow();
    ScriptedZuCam& app = makeApp();
    runThen([&] {
        EXPECT_EQ(app.saveDir().toStdString(), platform::HomeDir());
        app.SetSaveDir("/videos");
        app.SetFirstOpen(false);
        app.SetShotOpenDir(true);
        app.SetPlayAudio(true);  // only read, never saved
        app.SetUseHardwareDecoder(true);
        app.SetUseHardwareRender(true);
        app.SetDeviceName("renamed");
    });
    // On disk before the program ends: a crash now loses nothing.
    const Json::Value before = ReadSettings(host_.settingsPath());
    EXPECT_EQ(before["cfg_save_dir"].asString(), "/videos");
    EXPECT_EQ(before["cfg_device_name"].asString(), "renamed");
    EXPECT_EQ(before["cfg_shot_opendir"].asString(), "1");
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
    ScriptedZuCam& app = makeApp();
    runThen([&] { EXPECT_FALSE(app.openVirtualMic()); });
    // At start-up nobody is asked to install; only the failure is shown.
    EXPECT_EQ(app.messages, Strings{kCannotOpen});
    EXPECT_TRUE(app.questions.empty());
    EXPECT_EQ(pactlCalls(), Calls{kListSources});
    app_.reset();
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_open_vmic"].asString(), "0");
}

TEST_F(ZuCamTest, AStartUpOpenOfAMissingDriverAsksAndSaysNothing) {
    ScriptedZuCam& app = makeApp();
    app.LoadSettings();
    app.SetOpenVirtualMic(true);
    app.answerOk = true;  // would install, were anybody asked
    EXPECT_FALSE(app.OpenVirtualMic(false));
    EXPECT_FALSE(app.openVirtualMic());
    EXPECT_FALSE(app.session()->HasVirtualMic());
    EXPECT_TRUE(app.questions.empty());
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(pactlCalls(), Calls{kListSources});
    app_.reset();
    EXPECT_EQ(ReadSettings(host_.settingsPath())["cfg_open_vmic"].asString(), "0");
}

TEST_F(ZuCamTest, DecliningTheInstallInstallsNothing) {
    ScriptedZuCam& app = makeApp();
    app.answerOk = false;
    EXPECT_FALSE(app.OpenVirtualMic(true));
    EXPECT_FALSE(app.openVirtualMic());
    EXPECT_EQ(app.questions, Strings{kInstallQuestion});
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(pactlCalls(), Calls{kListSources});
}

TEST_F(ZuCamTest, AFailedInstallIsReportedAndNothingOpens) {
    tools_.answer("load-module", "out", "Failure: Module initialization failed\n");
    tools_.answer("load-module", "rc", "1");
    ScriptedZuCam& app = makeApp();
    app.answerOk = true;
    bool linkAsked = false;
    app.micFactory = [&linkAsked] {
        linkAsked = true;
        return std::make_shared<VirtaulAudioDeviceManager>();
    };
    EXPECT_FALSE(app.OpenVirtualMic(true));
    EXPECT_FALSE(app.openVirtualMic());
    EXPECT_FALSE(linkAsked);
    EXPECT_EQ(app.questions, Strings{kInstallQuestion});
    EXPECT_EQ(app.messages, Strings{kInstallFailed});
    const Calls calls = pactlCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], kListSources);
    ASSERT_FALSE(calls[1].empty());
    EXPECT_EQ(calls[1][0], "load-module");
}

TEST_F(ZuCamTest, AnInstalledDriverWhoseLinkWillNotOpenIsReported) {
    tools_.answer("load-module", "out", "27\n");
    ScriptedZuCam& app = makeApp();
    app.answerOk = true;
    // The real link: nobody reads its FIFO, so it cannot open.
    EXPECT_FALSE(app.OpenVirtualMic(true));
    EXPECT_FALSE(app.openVirtualMic());
    EXPECT_FALSE(app.session()->HasVirtualMic());
    EXPECT_EQ(app.messages, Strings{kCannotOpen});
    EXPECT_EQ(pactlCalls().size(), 2u);
}

TEST_F(ZuCamTest, AnOpenLinkTakesThePhonesAudioUntilClosed) {
    ScriptedZuCam& app = makeApp();
    std::weak_ptr<VirtaulAudioDeviceManager> made;
    app.micFactory = [&made] {
        auto mic = std::make_shared<VirtaulAudioDeviceManager>();
        made = mic;
        return mic;
    };
    const std::vector<int16_t> pcm = Tone(480, 2);
    app.WriteVirtualMic(Bytes(pcm), 480, 48000, 2);  // no link yet: nothing happens

    // Installed after the question this time.
    tools_.answer("load-module", "out", "27\n");
    app.answerOk = true;
    ASSERT_TRUE(app.OpenVirtualMic(true));
    EXPECT_TRUE(app.openVirtualMic());
    ASSERT_TRUE(app.session()->HasVirtualMic());
    ASSERT_NE(made.lock(), nullptr);
    EXPECT_TRUE(app.messages.empty());

    app.WriteVirtualMic(nullptr, 480, 48000, 2);
    app.WriteVirtualMic(Bytes(pcm), 0, 48000, 2);
    app.WriteVirtualMic(Bytes(pcm), 480, 0, 2);
    EXPECT_EQ(made.lock()->bufferedBytes(), 0u);
    app.WriteVirtualMic(Bytes(pcm), 480, 48000, 2);
    EXPECT_GT(made.lock()->bufferedBytes(), 0u);

    app.CloseVirtualMic();
    EXPECT_FALSE(app.openVirtualMic());
    EXPECT_FALSE(app.session()->HasVirtualMic());
    EXPECT_TRUE(made.expired());  // the last holder closed it
    app.WriteVirtualMic(Bytes(pcm), 480, 48000, 2);

    // A driver already present opens without a question.
    tools_.answer("list-sources", "out", kSourcesWithMic);
    app.questions.clear();
    EXPECT_TRUE(app.OpenVirtualMic(false));
    EXPECT_TRUE(app.questions.empty());
    EXPECT_TRUE(app.openVirtualMic());
}

TEST_F(ZuCamTest, AudioWritesRaceOpeningAndClosingSafely) {
    tools_.answer("list-sources", "out", kSourcesWithMic);
    ScriptedZuCam& app = makeApp();
    std::vector<std::weak_ptr<VirtaulAudioDeviceManager>> made;
    app.micFactory = [&made] {
        auto mic = std::make_shared<VirtaulAudioDeviceManager>();
        made.push_back(mic);
        return mic;
    };
    std::atomic<bool> stop{false};
    std::atomic<int> writes{0};
    const std::vector<int16_t> pcm = Tone(441, 2);
    // The server's thread keeps delivering audio while the settings dialog
    // switches the microphone on and off.
    std::thread server([&] {
        while (!stop) {
            app.WriteVirtualMic(Bytes(pcm), 441, 44100, 2);
            ++writes;
        }
    });
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(app.OpenVirtualMic(false));
        for (int k = 0; k < 20 && writes.load() < (i + 1) * 5; ++k)
            std::this_thread::yield();
        app.CloseVirtualMic();
    }
    stop = true;
    server.join();
    EXPECT_GT(writes.load(), 0);
    EXPECT_EQ(made.size(), 60u);
    for (const auto& mic : made)
        EXPECT_TRUE(mic.expired());
    EXPECT_FALSE(app.session()->HasVirtualMic());
    EXPECT_FALSE(app.openVirtualMic());
}

TEST_F(ZuCamTest, ShowMessageRestoresTheWindow) {
    useFakeWindow();
    ScriptedZuCam& app = makeApp();
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
    ScriptedZuCam& app = makeApp();
    app.UpdateVolumn(4);  // no window yet: nothing happens
    app.SetConnectMode(1);
    EXPECT_EQ(app.connectMode(), 1);
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
        // A dialog open over the window (the settings that change this)
        // stays open and follows the window up and down.
        QDialog dialog(window_.data());
        dialog.show();
        app.SetWindowStaysOnTop(true);
        EXPECT_TRUE(window_->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(window_->isVisible());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        app.SetWindowStaysOnTop(false);
        EXPECT_FALSE(window_->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(window_->isVisible());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        dialog.hide();
        EXPECT_FALSE(app.windowStaysOnTop());
    });
}

TEST_F(ZuCamTest, AWindowWithoutTheModeSwitchIsReported) {
    ZuCam::SetMainWindowFactory([] { return new QWidget; });
    ScriptedZuCam& app = makeApp();
    runThen([&] { app.SetConnectMode(1); });
    EXPECT_TRUE(host_.contains("cannot switch the connection mode to 1"));
}

TEST_F(ZuCamTest, ServesTheConnectionServersAsTheirContext) {
    ScriptedZuCam& app = makeApp();
    ASSERT_EQ(AppContext::instance(), &app);
    EXPECT_FALSE(app.IsRecording());
    app.recording = true;
    EXPECT_TRUE(AppContext::instance()->IsRecording());
    app.SetPlayAudio(true);
    EXPECT_TRUE(AppContext::instance()->PlayAudio());

    app.SetDeviceName(QString::fromUtf8("新名字"));
    EXPECT_EQ(CD->valueStore->get("zucam_device_name").toStdString(), "新名字");
    std::string fromServerThread;
    std::thread server(
        [&fromServerThread] { fromServerThread = AppContext::instance()->DeviceName(); });
    server.join();
    EXPECT_EQ(fromServerThread, "新名字");

    app_.reset();
    EXPECT_EQ(AppContext::instance(), nullptr);
}

const Strings kRemoveAllMappings = {"reverse", "--remove-all"};

TEST_F(ZuCamTest, AdbToolsAreMadeOnFirstUseAndDeletedByTheEventLoop) {
    useFakeWindow();
    ScriptedZuCam& app = makeApp();
    app.ReleaseAdbTools();  // nothing made yet: nothing happens
    EXPECT_EQ(app.session()->heldAdbTools(), nullptr);
    QPointer<zu::QAdbTools> first;
    QPointer<zu::QAdbTools> second;
    // The tools remove every connection to their signals, `destroyed`
    // included, so each turn of the loop looks whether they are gone yet.
    int step = 0;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        if (step == 0) {
            first = app.AdbTools();
            ASSERT_TRUE(first);
            EXPECT_EQ(app.AdbTools(), first.data());
            EXPECT_EQ(app.session()->heldAdbTools(), first.data());
            EXPECT_TRUE(adbCalls().empty());  // made, not run
            app.ReleaseAdbTools();
            EXPECT_EQ(app.session()->heldAdbTools(), nullptr);
            EXPECT_TRUE(first);  // not while this turn runs
            step = 1;
        } else if (step == 1 && !first) {
            // Its destructor removed the port mappings.
            EXPECT_EQ(adbCalls(), Calls{kRemoveAllMappings});
            // The next use makes fresh tools.
            second = app.AdbTools();
            ASSERT_TRUE(second);
            EXPECT_EQ(app.AdbTools(), second.data());
            app.ReleaseAdbTools();
            step = 2;
        } else if (step == 2 && !second) {
            app.quit();
        }
    });
    turn.start(1);
    // A deletion that never comes fails the case instead of hanging it.
    QTimer::singleShot(20000, &app, [&app] { app.exit(2); });
    EXPECT_EQ(app.exec(), 0);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(adbCalls(), (Calls{kRemoveAllMappings, kRemoveAllMappings}));
}

TEST_F(ZuCamTest, AdbToolsStillAroundAtExitAreDeletedOnce) {
    ScriptedZuCam& app = makeApp();
    EXPECT_EQ(app.exec(), 1);  // no window: the loop ends at once
    // Held at exit, never released.
    QPointer<zu::QAdbTools> held = app.AdbTools();
    app_.reset();
    EXPECT_TRUE(held.isNull());
    EXPECT_EQ(adbCalls(), Calls{kRemoveAllMappings});
}

TEST_F(ZuCamTest, AdbToolsReleasedAfterTheEventLoopAreDeletedOnceAtExit) {
    ScriptedZuCam& app = makeApp();
    EXPECT_EQ(app.exec(), 1);  // no window: the loop ends at once
    // As the main window's destructor does when it ends the USB server: the
    // event loop has already returned and will not delete them.
    QPointer<zu::QAdbTools> released = app.AdbTools();
    app.ReleaseAdbTools();
    EXPECT_FALSE(released.isNull());
    app_.reset();
    EXPECT_TRUE(released.isNull());
    EXPECT_EQ(adbCalls(), Calls{kRemoveAllMappings});
}

TEST_F(ZuCamTest, UninstallRemovesTheDriverThenUnregistersTheFilters) {
    tools_.answer("list-modules", "out",
                  "5\tmodule-null-sink\tsink_name=auto_null\t\n"
                  "21\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/x format=s16le\t\n");
    QApplication plain(argc_, argv_);  // the uninstall run's own application object
    Uninstall();
    // The sources are listed first, to say whether there was one to remove.
    EXPECT_EQ(pactlCalls(), (Calls{{"list", "short", "sources"},
                                   {"list", "short", "modules"},
                                   {"unload-module", "21"}}));
    EXPECT_EQ(host_.count("camera filters: nothing to unregister"), 1);
    EXPECT_FALSE(host_.contains("由于以下软件占用驱动文件"));
}

}  // namespace
