// The main window as the connection servers and a person meet it: the
// MediaCallback operations come from other threads as the servers call them,
// the buttons are clicked with QTest. Runs in a private network namespace
// (the Wi-Fi server listens and announces) on the X server of DISPLAY.
#include "ui/main-window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "camera-output-process.h"
#include "devices/virtual-camera-queue.h"
#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "output-path.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "recording-controller.h"
#include "server/media-server.h"
#include "server/usb-server.h"
#include "tests/support/camera-queue-reset.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"
#include "tests/ui/renderer-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/guid-widget.h"
#include "ui/main-form.h"
#include "ui/menu-state-form.h"
#include "ui/rotate-label.h"
#include "ui/setting-dialog.h"
#include "ui/system-tray.h"
#include "web/web-phone-service.h"
#include "zucam.h"

namespace {

// The person's part of the window, scripted: messages and opened folders are
// recorded, the close question answered from `closeAnswer`.
class ScriptedMainWindow : public MainWindow {
public:
    static bool powerSaver;
    QStringList messages;
    std::vector<std::string> opened;
    bool closeAnswer = false;
    int closeQuestions = 0;
    int quits = 0;

protected:
    void ShowMessage(const QString& text) override { messages << text; }
    bool AskClose() override {
        ++closeQuestions;
        return closeAnswer;
    }
    void OpenFileLocation(const std::string& path) override { opened.push_back(path); }
    void QuitApplication() override { ++quits; }
    bool PowerSaverActive() const override { return powerSaver; }
};
bool ScriptedMainWindow::powerSaver = true;

class ScriptedZuCam : public ZuCam {
public:
    using ZuCam::ZuCam;

protected:
    bool AskQuestion(const QString&) override { return false; }
    void ShowMessage(const QString&) override {}
};

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString TipText(const SystemTray& tray) {
    QWidget* tip = tray.currentTip();
    QLabel* label = tip ? tip->findChild<QLabel*>(QStringLiteral("label_ipdis_ip")) : nullptr;
    return label ? label->text() : QString();
}

// One host, one set of fake tools and one application object with the real
// main window for the whole program: an X connection is made once.
class MainWindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        host = std::make_unique<zutest::TestHost>();
        tools = std::make_unique<zutest::FakeTools>();
        tools->useInThisProcess();
        ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
        QCoreApplication::setApplicationName(QString("main-window-test-%1").arg(::getpid()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The session bus lives in the host's network namespace, out of
        // reach here; libdbus's failed attempts leave a buffer behind whose
        // stack LeakSanitizer cannot always walk. No bus: no tray either.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
        // The designed (Chinese) texts, whatever the machine's locale.
        qputenv("ZUCAM_LANG", "zh");
        // The painter renderer is the default; Mesa's GLX keeps allocations
        // to the end.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        ZuCam::SetMainWindowFactory([] { return new ScriptedMainWindow; });
        app = std::make_unique<ScriptedZuCam>(argc, argv);
        ASSERT_TRUE(WaitUntil([] { return !app->mainWindow.isNull(); }));
        auto* w = static_cast<ScriptedMainWindow*>(app->mainWindow.data());
        // The power check runs once the window is built.
        ASSERT_TRUE(WaitUntil([w] { return w->tray()->currentTip() != nullptr; }));
        powerTip = TipText(*w->tray());
    }
    void TearDown() override {
        app.reset();
        ZuCam::SetMainWindowFactory(nullptr);
        tools.reset();
        host.reset();
    }

    static std::unique_ptr<zutest::TestHost> host;
    static std::unique_ptr<zutest::FakeTools> tools;
    static std::unique_ptr<ScriptedZuCam> app;
    static QString powerTip;

private:
    int argc = 2;
    char name[20] = "main_window_test";
    char noCamera[20] = "--no-camera-output";
    char* argv[3] = {name, noCamera, nullptr};
};

std::unique_ptr<zutest::TestHost> MainWindowEnvironment::host;
std::unique_ptr<zutest::FakeTools> MainWindowEnvironment::tools;
std::unique_ptr<ScriptedZuCam> MainWindowEnvironment::app;
QString MainWindowEnvironment::powerTip;

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new MainWindowEnvironment);

// Runs `call` on a thread of its own, as a server's thread would.
void FromThread(const std::function<void()>& call) {
    std::thread thread(call);
    thread.join();
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(entry.path().string());
    }
    return found;
}

// A picture of noise, which no encoder can make small.
FrameHolder NoisyPicture(int seed) {
    FrameHolder picture = rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 180, {0, 0, 0});
    AVFrame* f = picture.get();
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? f->height : f->height / 2;
        for (int y = 0; y < rows; ++y) {
            uint8_t* row = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
            for (int x = 0; x < f->linesize[plane]; ++x) {
                state = state * 1664525u + 1013904223u;
                row[x] = static_cast<uint8_t>(state >> 24);
            }
        }
    }
    return picture;
}

// Video packets FFmpeg reads from `path` to its end; -1 when it cannot open
// the file, meets a damaged packet or stops short of the end.
int PlayablePictures(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return -1;
    int pictures = 0;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        int ret = 0;
        while (packet && (ret = av_read_frame(input, packet)) >= 0) {
            if (packet->flags & AV_PKT_FLAG_CORRUPT)
                pictures = -1;
            else if (packet->stream_index == video && pictures >= 0)
                ++pictures;
            av_packet_unref(packet);
        }
        if (ret != AVERROR_EOF)
            pictures = -1;
        av_packet_free(&packet);
    }
    avformat_close_input(&input);
    return pictures;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MainWindowEnvironment::app);
        w = static_cast<ScriptedMainWindow*>(app().mainWindow.data());
        ASSERT_NE(w, nullptr);
        app().SetSaveDir(QString::fromStdString(dir_.path()));
        app().SetShotOpenDir(false);
        // Every case starts on the waiting page with no picture kept.
        FromThread([this] { w->session()->OnClientDisconnected(); });
        ASSERT_TRUE(Flush());
        ASSERT_EQ(page(), MainForm::kPageWaitWifi);
        w->messages.clear();
        w->opened.clear();
    }

    // Everything queued on the window so far has run: queued calls to one
    // receiver run in order.
    bool Flush() {
        bool reached = false;
        QMetaObject::invokeMethod(
            w, [&reached] { reached = true; }, Qt::QueuedConnection);
        return WaitUntil([&reached] { return reached; });
    }

    ZuCam& app() { return *MainWindowEnvironment::app; }
    int page() const { return w->mainForm()->CurrentPage(); }
    template <typename T>
    T* Child(const char* name) {
        T* child = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static FrameHolder Picture() {
        return rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 180, {120, 90, 200});
    }
    // Connected and showing pictures, as after a phone's push-play.
    void Display() {
        FromThread([this] { w->session()->OnClientConnected("Pixel 7"); });
        ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageConnected; }));
        FromThread([this] { w->session()->OnVideoFrame(Picture()); });
        ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageDisplay; }));
    }
    void ExpectMessage(const char* text) {
        ASSERT_TRUE(WaitUntil([this] { return !w->messages.isEmpty(); }));
        EXPECT_EQ(w->messages.takeFirst().toStdString(), text);
    }

    ScriptedMainWindow* w = nullptr;
    zutest::TempDir dir_;
};

TEST_F(MainWindowTest, StartsOnTheWifiPageWithTheTitleAndNoticesThePowerSaver) {
    EXPECT_EQ(w->windowTitle().toStdString(), "Zu虚拟摄像头");
    EXPECT_NE(w->activeMediaServer(), nullptr);
    EXPECT_EQ(w->activeUsbServer(), nullptr);
    EXPECT_EQ(Child<QLabel>("label_menu_state")->text().toStdString(), "未连接");
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_cutscm")->isEnabled());
    // No tray under Xvfb: the notice is a tip over the window.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_EQ(MainWindowEnvironment::powerTip.toStdString(),
              "检测到电脑处于节能模式，可能会影响画面流畅度，建议调整为平衡模式或高性能模式");
}

TEST_F(MainWindowTest, ConnectionThenFirstPictureShowTheVideoAndEnableTheMenu) {
    FromThread([this] { w->session()->OnClientConnected("Pixel 7"); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageConnected; }));
    EXPECT_EQ(Child<QLabel>("label_menu_state")->text().toStdString(), "已连接Pixel 7");
    EXPECT_EQ(Child<QLabel>("label_success")->text().toStdString(), "连接成功\nPixel 7");
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isEnabled());
    FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageDisplay; }));
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_cutscm")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_record")->isEnabled());
    // The painter renderer (the default setting) is the one shown, and no
    // OpenGL renderer exists to turn the window into an OpenGL surface.
    EXPECT_TRUE(Child<QWidget>("painterWidget")->isVisible());
    EXPECT_EQ(w->findChild<QWidget*>(QStringLiteral("openGLWidget")), nullptr);
    uitest::KeepPicture(w->grab().toImage(), QStringLiteral("main-window-display"));
}

// A phone's name is its own to choose: markup must not load files or grow
// the window, control characters show as escapes, a long name is cut.
TEST_F(MainWindowTest, APhonesNameIsShownAsShortPlainText) {
    const std::string name = "<img src=/dev/zero>\x1b]0;t\x07\n" + std::string(200, 'x');
    FromThread([this, name] { w->session()->OnClientConnected(name.c_str()); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageConnected; }));
    const std::string shown = "<img src=/dev/zero>\\x1b]0;t\\x07\\n" + std::string(30, 'x') + "…";
    for (const char* labelName : {"label_menu_state", "label_success"}) {
        auto* label = Child<QLabel>(labelName);
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << labelName;
        EXPECT_NE(label->text().toStdString().find(shown), std::string::npos)
            << labelName << ": " << label->text().toStdString();
        // Drawn as text: a line's height, not a picture's.
        EXPECT_LT(label->sizeHint().height(), 200) << labelName;
    }
    EXPECT_LT(w->height(), 2000);
}

TEST_F(MainWindowTest, PicturesThatCannotBeShownAreNoticed) {
    const std::string notice = "手机发送的画面格式无法显示，请在手机上改用普通（8位 4:2:0）画质";
    FromThread([this] { w->session()->OnUnsupportedPicture(); });
    // The start's power notice may still be up: the new one replaces it.
    EXPECT_TRUE(WaitUntil([this, notice] { return TipText(*w->tray()).toStdString() == notice; }))
        << TipText(*w->tray()).toStdString();
}

// The camera for other programs cannot start: the person reads why and what
// to install; once it works again the tray says so.
TEST_F(MainWindowTest, TheCameraForOtherProgramsIsToldWhenItFailsAndWhenItWorksAgain) {
    w->messages.clear();
    ASSERT_TRUE(QMetaObject::invokeMethod(w->session(), "ReportCameraOutput", Q_ARG(bool, false),
                                          Q_ARG(int, CameraOutputProcess::kNoCameraOutput)));
    ASSERT_EQ(w->messages.size(), 1);
    EXPECT_EQ(w->messages.first().toStdString(),
              CameraOutputProcess::NoOutputAdvice(CameraOutputProcess::kNoCameraOutput));
    EXPECT_NE(w->messages.first().indexOf(QStringLiteral("v4l2loopback")), -1);
    ASSERT_TRUE(QMetaObject::invokeMethod(w->session(), "ReportCameraOutput", Q_ARG(bool, true),
                                          Q_ARG(int, 0)));
    EXPECT_TRUE(WaitUntil([this] {
        return TipText(*w->tray()).toStdString() == "其它软件现在可以使用“ZuCam”摄像头了";
    })) << TipText(*w->tray()).toStdString();
    EXPECT_EQ(w->messages.size(), 1);
}

TEST_F(MainWindowTest, AReconnectionWithinTheHoldKeepsTheDisplayPage) {
    Display();
    FromThread([this] { w->session()->OnClientDisconnectedDelay(); });
    ASSERT_TRUE(WaitUntil([this] { return w->disconnectTimer()->isActive(); }));
    EXPECT_EQ(w->disconnectTimer()->interval(), MainWindow::kDisconnectHoldMs);
    EXPECT_EQ(page(), MainForm::kPageDisplay);
    FromThread([this] { w->session()->OnClientConnected("Pixel 7"); });
    ASSERT_TRUE(WaitUntil([this] { return !w->disconnectTimer()->isActive(); }));
    EXPECT_EQ(page(), MainForm::kPageDisplay);
    // Had the hold run out after all, nothing would change now.
    w->disconnectTimer()->setInterval(0);
    w->disconnectTimer()->start();
    ASSERT_TRUE(WaitUntil([this] { return !w->disconnectTimer()->isActive(); }));
    w->disconnectTimer()->setInterval(MainWindow::kDisconnectHoldMs);
    ASSERT_TRUE(Flush());
    EXPECT_EQ(page(), MainForm::kPageDisplay);
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, WithoutAReconnectionTheHoldEndsOnTheWaitingPageWithoutThePicture) {
    Display();
    FromThread([this] { w->session()->OnClientDisconnectedDelay(); });
    ASSERT_TRUE(WaitUntil([this] { return w->disconnectTimer()->isActive(); }));
    // The picture is still kept during the hold.
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_cutscm"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return FilesIn(dir_.path(), ".png").size() == 1; }));
    EXPECT_EQ(page(), MainForm::kPageDisplay);
    // The hold runs out now instead of in 5000 ms.
    w->disconnectTimer()->setInterval(0);
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageWaitWifi; }));
    w->disconnectTimer()->setInterval(MainWindow::kDisconnectHoldMs);
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_cutscm")->isEnabled());
    EXPECT_EQ(Child<QLabel>("label_menu_state")->text().toStdString(), "未连接");
    QMetaObject::invokeMethod(w, "ScreenShot");
    ExpectMessage(output_path::kMsgNoPicture);
}

TEST_F(MainWindowTest, APlainDisconnectReturnsAtOnceAndFinishesTheRecording) {
    Display();
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
    ASSERT_TRUE(app().recording);
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_TRUE(Child<QLabel>("label_menu_time")->isVisible());
    // A first-picture notice queued before the page turned comes late.
    QMetaObject::invokeMethod(w, "OnFirstFrameReady");
    EXPECT_TRUE(app().recording);
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    for (int i = 0; i < 5; ++i)
        FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    FromThread([this] { w->session()->OnClientDisconnected(); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageWaitWifi; }));
    EXPECT_FALSE(app().recording);
    EXPECT_FALSE(w->recording().IsRecording());
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_EQ(Child<QLabel>("label_menu_time")->text().toStdString(), "00:00:00");
    const std::vector<std::string> files = FilesIn(dir_.path(), ".mp4");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GT(std::filesystem::file_size(files[0]), 0u);
    // The finished file's folder is opened once.
    ASSERT_EQ(w->opened.size(), 1u);
    EXPECT_EQ(std::filesystem::path(w->opened[0]), std::filesystem::path(files[0]));
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, ThePhonesCommandsTakeScreenshotsAndRecord) {
    Display();
    app().SetShotOpenDir(true);
    FromThread([this] { w->session()->OnScreenShotRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return w->opened.size() == 1; }));
    ASSERT_EQ(FilesIn(dir_.path(), ".png").size(), 1u);
    EXPECT_EQ(std::filesystem::path(w->opened[0]).filename().string().rfind("ZuCam_shot[", 0), 0u);
    FromThread([this] { w->session()->OnStartRecordRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return app().recording.load(); }));
    // A second start while recording starts nothing new.
    FromThread([this] { w->session()->OnStartRecordRequest(); });
    FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    FromThread([this] { w->session()->OnStopRecordRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return !app().recording; }));
    ASSERT_TRUE(WaitUntil([this] { return w->opened.size() == 2; }));
    EXPECT_EQ(FilesIn(dir_.path(), ".mp4").size(), 1u);
    // No write test file stays behind.
    EXPECT_TRUE(FilesIn(dir_.path(), ".txt").empty());
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, AScreenshotFromTheButtonShowsTheTipOverIt) {
    Display();
    auto* button = Child<QPushButton>("pushButton_menu_cutscm");
    // Tips of earlier screenshots may still be on their way out.
    const QList<QDialog*> earlier = button->findChildren<QDialog*>();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([button, &earlier] {
        for (QDialog* tip : button->findChildren<QDialog*>()) {
            if (!earlier.contains(tip))
                return true;
        }
        return false;
    }));
    EXPECT_EQ(FilesIn(dir_.path(), ".png").size(), 1u);
    EXPECT_TRUE(w->opened.empty());
}

TEST_F(MainWindowTest, FailuresSayWhyAndLeaveNothingRunning) {
    QMetaObject::invokeMethod(w, "ScreenShot");
    ExpectMessage(output_path::kMsgNoPicture);
    QMetaObject::invokeMethod(w, "StartRecord");
    ExpectMessage(output_path::kMsgRecordFailed);

    Display();
    const std::string plainFile = dir_.file("plain-file");
    std::ofstream(plainFile) << "x";
    struct Case {
        std::string dir;
        const char* message;
    };
    // Root ignores permission bits: a path that is no folder and a kernel
    // file system that takes no files are unwritable for everyone.
    for (const Case& c : {Case{dir_.file("missing"), output_path::kMsgNoDirectory},
                          Case{plainFile, output_path::kMsgNotWritable},
                          Case{"/proc", output_path::kMsgNotWritable}}) {
        SCOPED_TRACE(c.dir);
        app().SetSaveDir(QString::fromStdString(c.dir));
        QTest::mouseClick(Child<QPushButton>("pushButton_menu_cutscm"), Qt::LeftButton);
        ExpectMessage(c.message);
        QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
        ExpectMessage(c.message);
        EXPECT_FALSE(app().recording);
        EXPECT_FALSE(w->recording().IsRecording());
        EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
        EXPECT_FALSE(Child<QLabel>("label_menu_time")->isVisible());
    }
    EXPECT_TRUE(FilesIn(dir_.path(), ".png").empty());
    EXPECT_TRUE(FilesIn(dir_.path(), ".mp4").empty());
    EXPECT_TRUE(w->opened.empty());
}

TEST_F(MainWindowTest, SwitchingToUsbAndBackWithinTheDelayNeverStartsTheUsbServer) {
    QTest::mouseClick(Child<QPushButton>("pushButton_usb_link_1"), Qt::LeftButton);
    EXPECT_EQ(page(), MainForm::kPageWaitUsb);
    EXPECT_EQ(app().connectMode(), 1);
    EXPECT_EQ(w->activeMediaServer(), nullptr);
    ASSERT_TRUE(w->usbStartTimer()->isActive());
    EXPECT_EQ(w->usbStartTimer()->interval(), MainWindow::kUsbStartDelayMs);
    QTest::mouseClick(Child<QPushButton>("pushButton_wire_link_2"), Qt::LeftButton);
    EXPECT_EQ(page(), MainForm::kPageWaitWifi);
    EXPECT_EQ(app().connectMode(), 0);
    EXPECT_FALSE(w->usbStartTimer()->isActive());
    EXPECT_NE(w->activeMediaServer(), nullptr);
    ASSERT_TRUE(Flush());
    EXPECT_EQ(w->activeUsbServer(), nullptr);
    EXPECT_TRUE(MainWindowEnvironment::tools->calls("adb").empty());

    // Left on USB, the server starts once the delay is over.
    QTest::mouseClick(Child<QPushButton>("pushButton_usb_link_1"), Qt::LeftButton);
    w->usbStartTimer()->setInterval(0);
    ASSERT_TRUE(WaitUntil([this] { return w->activeUsbServer() != nullptr; }));
    w->usbStartTimer()->setInterval(MainWindow::kUsbStartDelayMs);
    EXPECT_EQ(w->activeMediaServer(), nullptr);
    QTest::mouseClick(Child<QPushButton>("pushButton_wire_link_2"), Qt::LeftButton);
    EXPECT_EQ(w->activeUsbServer(), nullptr);
    EXPECT_NE(w->activeMediaServer(), nullptr);
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, ATakenPortIsReportedAndNothingServesOrAnnounces) {
    QTest::mouseClick(Child<QPushButton>("pushButton_usb_link_1"), Qt::LeftButton);
    ASSERT_EQ(w->activeMediaServer(), nullptr);
    {
        QTcpServer squatter;
        ASSERT_TRUE(squatter.listen(QHostAddress::Any, MainWindow::kMediaPort));
        QTest::mouseClick(Child<QPushButton>("pushButton_wire_link_2"), Qt::LeftButton);
        ASSERT_EQ(w->messages.size(), 1);
        EXPECT_EQ(w->messages.takeFirst().toStdString(),
                  "无法启动媒体传输服务，由于10080端口被占用");
        EXPECT_EQ(w->activeMediaServer(), nullptr);
        EXPECT_EQ(Child<QLabel>("label_ip")->text().toStdString(), "---.---.---.---");
        EXPECT_EQ(page(), MainForm::kPageWaitWifi);
    }
    QTest::mouseClick(Child<QPushButton>("pushButton_usb_link_1"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("pushButton_wire_link_2"), Qt::LeftButton);
    EXPECT_NE(w->activeMediaServer(), nullptr);
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, AddressListsAreLinksSeparatedBySlashes) {
    EXPECT_EQ(MainForm::IpListHtml({}).toStdString(), "---.---.---.---");
    const std::string one = MainForm::IpListHtml({"192.168.1.23"}).toStdString();
    EXPECT_EQ(one.rfind("<html><head/><body><p><a href=\"192.168.1.23\">", 0), 0u);
    EXPECT_EQ(one.find(" / "), std::string::npos);
    const std::string two = MainForm::IpListHtml({"192.168.1.23", "10.0.0.7"}).toStdString();
    const size_t first = two.find("<a href=\"192.168.1.23\">");
    const size_t slash = two.find(" / ");
    const size_t second = two.find("<a href=\"10.0.0.7\">");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(slash, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, slash);
    EXPECT_LT(slash, second);
    EXPECT_EQ(two.find("</p></body></html>"), two.size() - 18);
    // In the netns only loopback exists, which is never announced.
    EXPECT_EQ(Child<QLabel>("label_ip")->text().toStdString(), "---.---.---.---");
}

// A new name in Settings reaches the waiting page, and the name the
// announcements and the phone's device-name reply read, without a restart.
TEST_F(MainWindowTest, ANewDeviceNameReachesTheWaitingPageAndThePhonesAtOnce) {
    auto* label = w->mainForm()->findChild<QLabel*>(QStringLiteral("label_device_name"));
    ASSERT_NE(label, nullptr);
    const QString before = app().deviceName();
    const QString renamed = QString::fromUtf8("书房 <b>2</b>");
    app().SetDeviceName(renamed);
    EXPECT_EQ(label->text(), renamed);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    ASSERT_NE(AppContext::instance(), nullptr);
    EXPECT_EQ(AppContext::instance()->DeviceName(), renamed.toStdString());
    // Still waiting: the announcement was started again under the new name.
    EXPECT_EQ(page(), MainForm::kPageWaitWifi);
    app().SetDeviceName(before);
    EXPECT_EQ(label->text(), before);
    EXPECT_EQ(AppContext::instance()->DeviceName(), before.toStdString());
}

// Whether something on this computer takes connections on `port`; a refusal
// comes back at once, the time-out only guards against a hang.
bool Listening(int port) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    return socket.waitForConnected(10000);
}

std::string StoredWebPort() {
    std::string settings;
    if (!CD || !CD->configStore || !platform::ReadWholeFile(CD->configStore->path(), &settings))
        return "unreadable";
    const QRegularExpressionMatch stored =
        QRegularExpression(R"re("cfg_web_port"\s*:\s*"([^"]*)")re")
            .match(QString::fromStdString(settings));
    return stored.hasMatch() ? stored.captured(1).toStdString() : "missing";
}

// The phone page's port typed in Settings is on disk and served at once; the
// old port is let go, and 0 ("关闭") takes the page away.
TEST_F(MainWindowTest, TheWebPortTypedInSettingsIsStoredAndServedAtOnce) {
    PhoneSession* session = w->session();
    ASSERT_NE(session->webPhone(), nullptr);
    const int before = app().webPort();
    ASSERT_EQ(session->webPhone()->Port(), before);
    const int moved = before + 1;
    SettingDialog dialog;
    auto* field = dialog.findChild<QSpinBox*>(QStringLiteral("spinBox_web_port"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->value(), before);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::number(moved));
    // Half typed, nothing moves: no port is tried digit by digit.
    EXPECT_EQ(app().webPort(), before);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(app().webPort(), moved);
    EXPECT_EQ(StoredWebPort(), std::to_string(moved));
    ASSERT_NE(session->webPhone(), nullptr);
    EXPECT_EQ(session->webPhone()->Port(), moved);
    EXPECT_TRUE(Listening(moved));
    EXPECT_FALSE(Listening(before));

    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("0"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), QString::fromUtf8("关闭"));
    EXPECT_EQ(app().webPort(), 0);
    EXPECT_EQ(StoredWebPort(), "0");
    EXPECT_EQ(session->webPhone(), nullptr);
    EXPECT_FALSE(Listening(moved));

    // A fresh dialog shows the setting as it was left.
    EXPECT_EQ(SettingDialog().findChild<QSpinBox*>(QStringLiteral("spinBox_web_port"))->text(),
              QString::fromUtf8("关闭"));
    ASSERT_TRUE(app().SetWebPort(before));
    ASSERT_NE(session->webPhone(), nullptr);
    EXPECT_TRUE(Listening(before));
    EXPECT_FALSE(app().SetWebPort(65536));
    EXPECT_FALSE(app().SetWebPort(-1));
    EXPECT_EQ(StoredWebPort(), std::to_string(before));
}

// Clicks along the address line: every click on a link puts exactly that
// address on the clipboard and shows the notice; clicks beside them do not.
TEST_F(MainWindowTest, ClickingAnAddressCopiesExactlyItAndShowsTheNotice) {
    auto* label = Child<QLabel>("label_ip");
    w->mainForm()->SetIpList({"192.168.1.23", "10.0.0.7"});
    ASSERT_TRUE(WaitUntil([label] { return label->isVisible() && label->width() > 0; }));
    QApplication::processEvents();
    QClipboard* clipboard = QGuiApplication::clipboard();
    std::set<std::string> copied;
    for (int x = 0; x < label->width(); x += 3) {
        clipboard->setText(QStringLiteral("before"));
        QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(x, label->height() / 2));
        const std::string now = clipboard->text().toStdString();
        if (now == "before")
            continue;
        copied.insert(now);
        EXPECT_EQ(TipText(*w->tray()).toStdString(), "ip地址已复制到剪切板");
    }
    EXPECT_EQ(copied, (std::set<std::string>{"192.168.1.23", "10.0.0.7"}));
    w->mainForm()->SetIpList({});
}

// Closes whatever modal dialog opens next, as a person would.
void CloseNextDialog() {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->done(0);
            timer->deleteLater();
        }
    });
    timer->start(10);
}

TEST_F(MainWindowTest, TheGuideShowsOnlyUntilHelpIsOpenedAndTheLevelPicksItsImage) {
    app().SetFirstOpen(true);
    MenuStateForm* menu = w->menuForm();
    ASSERT_TRUE(menu->ShowGuide());
    ASSERT_NE(menu->guide(), nullptr);
    EXPECT_TRUE(menu->guide()->isVisible());
    CloseNextDialog();
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_help"), Qt::LeftButton);
    EXPECT_FALSE(app().firstOpen());
    EXPECT_EQ(menu->guide(), nullptr);
    EXPECT_FALSE(menu->ShowGuide());
    EXPECT_EQ(menu->guide(), nullptr);

    menu->SetVolumeLevel(3);
    EXPECT_EQ(Child<QLabel>("label_menu_volumn_img")->styleSheet().toStdString(),
              "border-image: url(:/image/voice/voice-3.png);");
    menu->SetVolumeLevel(0);
}

// The spinner turns in steps of 7.5 degrees and wraps below 360.
TEST_F(MainWindowTest, TheSpinnerTurnsInSteps) {
    auto* spinner = Child<RotateLabel>("label_imgwait");
    ASSERT_TRUE(spinner->isRunning());
    const double before = RotateLabel::angle();
    ASSERT_TRUE(WaitUntil([before] { return RotateLabel::angle() != before; }));
    const double after = RotateLabel::angle();
    EXPECT_GE(after, 0.0);
    EXPECT_LT(after, 360.0);
    EXPECT_DOUBLE_EQ(after / RotateLabel::kStepDegrees,
                     static_cast<int>(after / RotateLabel::kStepDegrees + 0.5));
    // Connected, the spinner rests; back on the waiting page it turns again.
    FromThread([this] { w->session()->OnClientConnected("Pixel 7"); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageConnected; }));
    EXPECT_FALSE(spinner->isRunning());
}

TEST_F(MainWindowTest, TheCloseButtonQuitsOnlyWhenConfirmed) {
    w->closeAnswer = false;
    QTest::mouseClick(Child<QPushButton>("pushButton_main_close"), Qt::LeftButton);
    EXPECT_EQ(w->closeQuestions, 1);
    EXPECT_EQ(w->quits, 0);
    w->closeAnswer = true;
    QTest::mouseClick(Child<QPushButton>("pushButton_main_close"), Qt::LeftButton);
    EXPECT_EQ(w->closeQuestions, 2);
    EXPECT_EQ(w->quits, 1);
}

// A full disk ends the recording: the button lets go, the person reads why
// and which file kept the recording, and that file plays up to the failure.
TEST_F(MainWindowTest, AFullDiskEndsTheRecordingWithAMessageAndKeepsAPlayableFile) {
    // A 1 MiB tmpfs in a mount namespace of a helper's own, reached through
    // the helper's /proc root, nearly full from the start.
    const std::string mountPoint = dir_.file("small-disk");
    std::filesystem::create_directories(mountPoint);
    const std::string ready = dir_.file("mounted");
    platform::ChildProcess helper;
    platform::ChildProcess::Options options;
    options.argv = {"unshare",
                    "-m",
                    "sh",
                    "-c",
                    "mount -t tmpfs -o size=1m tmpfs \"$0\" && "
                    "head -c 900000 /dev/zero > \"$0/filler\" && touch \"$1\" && exec sleep 600",
                    mountPoint,
                    ready};
    ASSERT_TRUE(helper.start(options));
    if (!WaitUntil([&] { return std::filesystem::exists(ready) || !helper.running(); }) ||
        !std::filesystem::exists(ready)) {
        GTEST_SKIP() << "mounting a tmpfs in a private mount namespace needs root";
    }
    const std::string saveDir = "/proc/" + std::to_string(helper.pid()) + "/root" + mountPoint;
    app().SetSaveDir(QString::fromStdString(saveDir));

    Display();
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
    ASSERT_TRUE(app().recording);
    const std::string path = w->recording().RecordPath();
    const auto fileSize = [&path] {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        return error ? 0 : size;
    };
    // Plain pictures until a first fragment is in the file, then noise,
    // which the encoder cannot squeeze, until the disk is full.
    const auto header = fileSize();
    ASSERT_TRUE(WaitUntil(
        [&] {
            FromThread([this] { w->session()->OnVideoFrame(Picture()); });
            return fileSize() > header;
        },
        60000));
    int seed = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            FromThread([this, &seed] { w->session()->OnVideoFrame(NoisyPicture(++seed)); });
            return !w->messages.isEmpty();
        },
        60000));
    EXPECT_EQ(w->messages.takeFirst().toStdString(),
              RecordingController::FailureMessage(path, "No space left on device"));
    EXPECT_FALSE(app().recording);
    EXPECT_FALSE(w->recording().IsRecording());
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_TRUE(w->opened.empty());
    EXPECT_GE(PlayablePictures(path), 1);
}

}  // namespace
