// The main window as the connection servers and a person meet it: the
// MediaCallback operations come from other threads as the servers call them,
// the buttons are clicked with QTest. Runs in a private network namespace
// (the Wi-Fi server listens and announces) on the X server of DISPLAY. Its
// pages, the connection, names, notices, addresses, the guide and closing.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <set>
#include <string>

#include "camera-output-process.h"
#include "output-path.h"
#include "tests/ui/main-window-fixture.h"
#include "tests/ui/ui-test-app.h"
#include "ui/guid-widget.h"
#include "ui/menu-state-form.h"
#include "ui/rotate-label.h"
#include "ui/system-tray.h"

namespace mwtest {
namespace {

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

}  // namespace
}  // namespace mwtest
