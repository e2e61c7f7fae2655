#include "ui/main-window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QEvent>
#include <QMetaObject>
#include <QMoveEvent>
#include <QTimerEvent>
#include <memory>

#include "devices/virtual-camera-queue.h"
#include "hublet/app-info.h"
#include "hublet/clock.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/plain-text.h"
#include "hublet/value-store.h"
#include "output-path.h"
#include "platform/network-interfaces.h"
#include "server/media-server.h"
#include "server/usb-server.h"
#include "ui/frameless-helper.h"
#include "ui/guid-widget.h"
#include "ui/help-info-dialog.h"
#include "ui/main-form.h"
#include "ui/menu-state-form.h"
#include "ui/message-box-dialog.h"
#include "ui/qss-manager.h"
#include "ui/system-tray.h"
#include "ui/web-phone-dialog.h"
#include "ui_main-window.h"
#include "web/web-phone-service.h"
#include "zucam.h"

namespace {

const char* const kUnsupportedPicture = QT_TRANSLATE_NOOP(
    "MainWindow", "手机发送的画面格式无法显示，请在手机上改用普通（8位 4:2:0）画质");
constexpr int kUnsupportedPictureMs = 5000;

const char* const kTitle = QT_TRANSLATE_NOOP("MainWindow", "Zu虚拟摄像头");
const char* const kToolTipIdle = QT_TRANSLATE_NOOP("MainWindow", "Zu虚拟摄像头\n状态：未连接");
const char* const kToolTipConnected = QT_TRANSLATE_NOOP("MainWindow", "Zu虚拟摄像头\n状态：已连接");
const char* const kIpCopied = QT_TRANSLATE_NOOP("MainWindow", "ip地址已复制到剪切板");
constexpr int kIpCopiedMs = 1000;
const char* const kPowerSaving = QT_TRANSLATE_NOOP(
    "MainWindow", "检测到电脑处于节能模式，可能会影响画面流畅度，建议调整为平衡模式或高性能模式");
constexpr int kPowerSavingMs = 3000;
const char* const kCloseQuestion = QT_TRANSLATE_NOOP("MainWindow", "您是否确定要关闭软件？");
const char* const kMediaPortBusy =
    QT_TRANSLATE_NOOP("MainWindow", "无法启动媒体传输服务，由于%1端口被占用");
const char* const kUsbPortBusy =
    QT_TRANSLATE_NOOP("MainWindow", "无法启动USB传输服务，由于%1端口被占用");
const char* const kOk = QT_TRANSLATE_NOOP("MainWindow", "确定");
const char* const kCameraOutputWorks =
    QT_TRANSLATE_NOOP("MainWindow", "其它软件现在可以使用“ZuCam”摄像头了");
constexpr int kCameraOutputWorksMs = 3000;
const char* const kCancel = QT_TRANSLATE_NOOP("MainWindow", "取消");
constexpr int kGuideDelayMs = 500;
constexpr int kEdgeNear = 11;
constexpr int kEdgeFar = 10;

ZuCam* App() {
    return ZuCam::instance();
}

QStringList ToQt(const std::vector<std::string>& list) {
    QStringList out;
    for (const std::string& item : list)
        out << QString::fromStdString(item);
    return out;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    auto* qss = new QssManager(this, false);
    qss->SetStyleSheetFile(QStringLiteral(":/qss/main-window.qss"));
    setWindowTitle(tr(kTitle));
    const double s = App() ? App()->scaleFactor : 1.0;
    resize(static_cast<int>(900 * s), static_cast<int>(634 * s));
    new FramelessHelper(this, this);
    titleButtons << ui->pushButton_main_max << ui->pushButton_main_min << ui->pushButton_main_close
                 << ui->pushButton_helpinfo;
    SetUpTitle();
    connect(menuForm(), &MenuStateForm::ScreenShot, this, &MainWindow::ScreenShot);
    connect(menuForm(), &MenuStateForm::StartRecord, this, &MainWindow::StartRecord);
    connect(menuForm(), &MenuStateForm::StopRecord, this, &MainWindow::StopRecord);
    if (App()) {
        session_ = App()->session();
    } else {
        ownSession_ = std::make_unique<PhoneSession>();
        session_ = ownSession_.get();
    }
    if (session_->OpenCameraQueue() != PhoneSession::QueueResult::kOpened)
        BG_LOGE("the virtual camera queue cannot be opened; pictures are shown but not served");
    BuildTray();
    connect(mainForm(), &MainForm::IpCopyToClipboard, this,
            [this] { tray_->ShowMessage(tr(kIpCopied), kIpCopiedMs); });
    connect(mainForm(), &MainForm::sig_WebPhoneRequested, this, &MainWindow::ShowWebPhone);
    ConnectSession();
    session_->SetWebPort(WebPhoneService::ConfiguredPort());
    // An adb server an earlier run started and left behind ends now.
    session_->EndAdbServer();

    QTimer::singleShot(kGuideDelayMs, this, [this] { menuForm()->ShowGuide(); });
    SwitchToWaitConnection();
    SwitchConnectionMode(0);
    menuForm()->SetVolumeLevel(0);
    savedGeometry = geometry();
    // Once the window is built, so the check can be replaced.
    QTimer::singleShot(0, this, &MainWindow::CheckPowerScheme);
}

MainWindow::~MainWindow() {
    session_->SetPictureSink(nullptr);
    // The servers' threads are joined, a running recording is finished (at
    // exit no file browser is opened) and the camera is marked stopped; what
    // they queue on the way out dies with the window.
    session_->disconnect(this);
    session_->Stop();
    if (App())
        App()->recording = false;
}

MainForm* MainWindow::mainForm() const {
    return static_cast<MainForm*>(ui->widget_main);
}

MenuStateForm* MainWindow::menuForm() const {
    return static_cast<MenuStateForm*>(ui->widget_menu);
}

void MainWindow::SetUpTitle() {
    if (CD && CD->valueStore)
        ui->label_main_title->setText(tr(CD->valueStore->get("app_title").toStdString().c_str()));
    const std::string version = CD && CD->appInfo ? CD->appInfo->version() : std::string();
    ui->label_main_version->setText(QStringLiteral("\nV%1").arg(QString::fromStdString(version)));
    ui->pushButton_main_max->setCheckable(true);
    ui->pushButton_helpinfo->setCursor(Qt::PointingHandCursor);
    ui->pushButton_helpinfo->setText(tr("其它软件如何使用Zu虚拟摄像头？"));
}

void MainWindow::ConnectSession() {
    PhoneSession* s = session_;
    MainForm* form = mainForm();
    // The renderer takes pictures on the decoder thread; it never waits for
    // the GUI thread.
    s->SetPictureSink([form](const FrameHolder& frame) { form->RenderFrame(frame); });
    connect(s, &PhoneSession::phoneConnected, this,
            [this](QString name, QString) { SwitchToWaitVideo(name); });
    connect(s, &PhoneSession::firstPicture, this, &MainWindow::OnFirstFrameReady);
    connect(s, &PhoneSession::phoneGone, this, [this](bool held, int) { PhoneGone(held); });
    connect(s, &PhoneSession::waitingForPhone, this, &MainWindow::SwitchToWaitConnection);
    connect(s, &PhoneSession::recordingStarted, this, &MainWindow::RecordingStarted);
    connect(s, &PhoneSession::recordingStopped, this, [this](QString path) {
        StopRecordDisplay();
        if (!path.isEmpty())
            OpenFileLocation(path.toStdString());
    });
    connect(s, &PhoneSession::recordingFailed, this, &MainWindow::ShowRecordingFailure);
    connect(s, &PhoneSession::recordingStartFailed, this, [this](QString message) {
        if (App())
            App()->recording = false;
        menuForm()->UpdateRecordState();
        ShowMessage(QCoreApplication::translate("output_path", qUtf8Printable(message)));
    });
    connect(s, &PhoneSession::screenshotSaved, this, &MainWindow::ShowScreenShotResult);
    connect(s, &PhoneSession::screenshotFailed, this, [this](QString message) {
        ShowMessage(QCoreApplication::translate("output_path", qUtf8Printable(message)));
    });
    connect(s, &PhoneSession::serverFailed, this, &MainWindow::ShowServerFailure);
    connect(s, &PhoneSession::decoderFailed, this, &MainWindow::ShowDecoderFailure);
    connect(s, &PhoneSession::unsupportedPicture, this,
            [this] { tray_->ShowMessage(tr(kUnsupportedPicture), kUnsupportedPictureMs); });
    connect(s, &PhoneSession::cameraOutputChanged, this, &MainWindow::ShowCameraOutput);
}

void MainWindow::BuildTray() {
    tray_ = new SystemTray(this);
    connect(tray_, &SystemTray::sig_showWindow, this, &MainWindow::RestoreWindow);
    connect(tray_, &SystemTray::sig_quit, this, &MainWindow::on_pushButton_main_close_clicked);
    if (QSystemTrayIcon* icon = tray_->icon())
        connect(icon, &QSystemTrayIcon::activated, this, &MainWindow::slot_activatedSysTrayIcon);
}

void MainWindow::CheckPowerScheme() {
    qDebug() << "[检测电源计划]";
    if (!PowerSaverActive())
        return;
    BG_LOGE("[Current Power Scheme]:GUID_MAX_POWER_SAVINGS");
    tray_->ShowMessage(tr(kPowerSaving), kPowerSavingMs);
}

bool MainWindow::PowerSaverActive() const {
    return App() && App()->IsPowerSaverActive();
}

// ---- connection mode and servers ----

void MainWindow::SwitchConnectionMode(int mode) {
    if (mode == 0) {
        qDebug() << "[开启Wifi模式连接]";
        session_->SwitchConnectionMode(PhoneSession::Mode::kWifi);
        ShowAddresses();
        return;
    }
    session_->SwitchConnectionMode(PhoneSession::Mode::kUsb);
}

void MainWindow::ShowServerFailure(PhoneSession::Mode mode, int port) {
    if (mode == PhoneSession::Mode::kWifi) {
        mainForm()->SetIpList(QStringList());
        ShowMessage(tr(kMediaPortBusy).arg(port));
    } else {
        ShowMessage(tr(kUsbPortBusy).arg(port));
    }
}

void MainWindow::ShowCameraOutput(bool working, int code) {
    if (working) {
        // Only news after a failure: a camera that simply works is expected.
        if (cameraOutputFailed_)
            tray_->ShowMessage(tr(kCameraOutputWorks), kCameraOutputWorksMs);
        cameraOutputFailed_ = false;
        return;
    }
    cameraOutputFailed_ = true;
    ShowMessage(QString::fromStdString(CameraOutputProcess::NoOutputAdvice(code)));
}

void MainWindow::ShowWebPhone() {
    WebPhoneService* page = session_->webPhone();
    if (!page) {
        ShowMessage(tr("手机浏览器页面未开启：端口%1被占用或已在设置中关闭")
                        .arg(WebPhoneService::ConfiguredPort()));
        return;
    }
    QStringList ips;
    for (const std::string& ip : MediaServer::AnnounceAddresses(platform::ListNetworkAdapters()))
        ips << QString::fromStdString(ip);
    WebPhoneDialog dialog(page, ips, this);
    dialog.exec();
}

void MainWindow::ShowDecoderFailure(const QString& text) {
    ShowMessage(text);
}

void MainWindow::ShowAddresses() {
    mainForm()->SetIpList(ToQt(session_->Addresses()));
}

// ---- connection states ----

void MainWindow::SwitchToWaitConnection() {
    disconnectPending = false;
    qDebug() << "[MainWindow::SwitchToWaitConnection()]";
    menuForm()->SetDeviceState(QString());
    menuForm()->SetMenuEnabled(false);
    const int mode = App() ? App()->connectMode() : 0;
    mainForm()->ShowPage(mode == 0 ? MainForm::kPageWaitWifi : MainForm::kPageWaitUsb);
    tray_->SetToolTip(tr(kToolTipIdle));
    ShowAddresses();
    menuForm()->SetVolumeLevel(0);
}

void MainWindow::SwitchToWaitVideo(QString name) {
    // The phone chooses its name: it is shown as short plain text.
    name = QString::fromStdString(bg::PlainText(name.toStdString()));
    menuForm()->SetDeviceState(name);
    mainForm()->SetConnectedName(name);
    // Back within the hold: the display page stays.
    if (!disconnectPending)
        mainForm()->ShowPage(MainForm::kPageConnected);
    disconnectPending = false;
    tray_->SetToolTip(tr(kToolTipConnected));
    menuForm()->SetVolumeLevel(0);
}

void MainWindow::PhoneGone(bool held) {
    // Without a hold the waiting page follows at once.
    disconnectPending = held;
}

void MainWindow::OnFirstFrameReady() {
    if (mainForm()->CurrentPage() == MainForm::kPageDisplay)
        return;
    mainForm()->ShowPage(MainForm::kPageDisplay);
    menuForm()->SetMenuEnabled(true);
}

void MainWindow::UpdateVolumn(int volumn) {
    menuForm()->SetVolumeLevel(volumn);
}

// ---- screenshots and recordings ----

void MainWindow::ScreenShot() {
    session_->TakeScreenshot();
}

void MainWindow::ShowScreenShotResult(QString path) {
    if (App() && App()->shotOpenDir())
        OpenFileLocation(path.toStdString());
    else
        menuForm()->ShowShotToast();
}

void MainWindow::StartRecord() {
    session_->StartRecording();
}

void MainWindow::RecordingStarted() {
    if (recordTimerId == 0)
        recordTimerId = startTimer(kRecordTimeTickMs, Qt::CoarseTimer);
    if (App())
        App()->recording = true;
    menuForm()->UpdateRecordState();
}

void MainWindow::StopRecord() {
    session_->StopRecording();
}

void MainWindow::StopRecordDisplay() {
    if (recordTimerId != 0) {
        killTimer(recordTimerId);
        recordTimerId = 0;
    }
    if (App())
        App()->recording = false;
    menuForm()->UpdateRecordState();
}

void MainWindow::ShowRecordingFailure(QString /*path*/, QString message) {
    StopRecordDisplay();
    ShowMessage(message);
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == recordTimerId && recordTimerId != 0)
        UpdateRecodTime();
}

void MainWindow::UpdateRecodTime() {
    const qint64 ms = session_->RecordingElapsedUs() / 1000;
    menuForm()->SetRecordTime(
        QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("HH:mm:ss")));
}

// ---- title bar, tray and the window itself ----

void MainWindow::on_pushButton_main_close_clicked() {
    if (AskClose())
        QuitApplication();
}

void MainWindow::on_pushButton_main_max_clicked() {
    // The button shows the window's state, not its own clicks: the window
    // manager reports the new state later, and may refuse it.
    ui->pushButton_main_max->setChecked(isMaximized());
    if (isMaximized()) {
        // Restored first: moving a maximised window would only drop the
        // state on this side, and the window manager keeps it maximised.
        showNormal();
        setGeometry(savedGeometry);
    } else {
        savedGeometry = geometry();
        showMaximized();
    }
}

void MainWindow::on_pushButton_main_min_clicked() {
    showMinimized();
}

void MainWindow::on_pushButton_helpinfo_clicked() {
    HelpInfoDialog dialog(this);
    dialog.exec();
}

void MainWindow::slot_activatedSysTrayIcon(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger)
        RestoreWindow();
}

void MainWindow::RestoreWindow() {
    if (isMinimized())
        showNormal();
    show();
    activateWindow();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange)
        ui->pushButton_main_max->setChecked(isMaximized());
    QMainWindow::changeEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The guide bubble is a window of its own and follows this one.
    if (menuForm()->guide())
        menuForm()->ShowGuide();
}

void MainWindow::ShowMessage(const QString& text) {
    BG_LOGE("message for the user: %s", qUtf8Printable(text));
    if (!ZuCam::CanShowDialogs())
        return;
    MessageBoxDialog box(this);
    box.SetMessage(text);
    box.SetButtons(1, tr(kOk));
    box.exec();
}

bool MainWindow::AskClose() {
    if (!ZuCam::CanShowDialogs())
        return true;
    MessageBoxDialog box(this);
    box.SetMessage(tr(kCloseQuestion));
    box.SetButtons(2, tr(kOk), tr(kCancel));
    return box.exec() == MessageBoxDialog::kResultOk;
}

void MainWindow::OpenFileLocation(const std::string& path) {
    if (!CD || !CD->clock || !CD->clock->openLocation(path))
        BG_LOGE("the folder of %s could not be opened", path.c_str());
}

void MainWindow::QuitApplication() {
    // The application object's destructor takes the window down, saves the
    // settings and closes the microphone once the event loop has returned.
    QCoreApplication::exit(0);
}

QPoint MainWindow::FromScreen(int x, int y) const {
    return mapFromGlobal(QPoint(x, y));
}

bool MainWindow::isInTopEdge(int x, int y) const {
    return FromScreen(x, y).y() < kEdgeNear;
}

bool MainWindow::isInBottomEdge(int x, int y) const {
    return FromScreen(x, y).y() >= height() - kEdgeFar;
}

bool MainWindow::isInLeftEdge(int x, int y) const {
    return FromScreen(x, y).x() < kEdgeNear;
}

bool MainWindow::isInRightEdge(int x, int y) const {
    return FromScreen(x, y).x() >= width() - kEdgeFar;
}

bool MainWindow::isInCaption(int x, int y) const {
    const QPoint p = FromScreen(x, y);
    if (p.y() > ui->widget_title->height())
        return false;
    for (QWidget* button : titleButtons) {
        const QPoint local = button->mapFrom(this, p);
        if (button->rect().contains(local))
            return false;
    }
    return true;
}
