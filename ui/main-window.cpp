#include "ui/main-window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QMoveEvent>
#include <QThread>
#include <QThreadPool>
#include <QTimerEvent>
#include <atomic>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

#include "devices/virtual-camera-queue.h"
#include "hublet/app-info.h"
#include "hublet/clock.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "output-path.h"
#include "screenshot-writer.h"
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
#include "ui_main-window.h"
#include "zucam.h"

namespace {

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
const char* const kCancel = QT_TRANSLATE_NOOP("MainWindow", "取消");
constexpr int kGuideDelayMs = 500;
constexpr int kUsbStopSpinMs = 200;
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
    OpenCameraQueue();
    BuildTray();
    connect(mainForm(), &MainForm::IpCopyToClipboard, this,
            [this] { tray_->ShowMessage(tr(kIpCopied), kIpCopiedMs); });
    // A file that cannot be written ends its recording by itself; the
    // controls follow on the GUI thread.
    recording_.SetFailureCallback([this](const std::string&, const std::string&) {
        QMetaObject::invokeMethod(this, "StopRecord", Qt::QueuedConnection);
    });
    if (App())
        App()->KillAdbProcess();

    usbStartTimer_.setObjectName(QStringLiteral("timer_usb_start"));
    usbStartTimer_.setSingleShot(true);
    usbStartTimer_.setTimerType(Qt::PreciseTimer);
    usbStartTimer_.setInterval(kUsbStartDelayMs);
    connect(&usbStartTimer_, &QTimer::timeout, this, &MainWindow::StartUSBServer);
    disconnectTimer_.setObjectName(QStringLiteral("timer_disconnect_hold"));
    disconnectTimer_.setSingleShot(true);
    disconnectTimer_.setTimerType(Qt::CoarseTimer);
    disconnectTimer_.setInterval(kDisconnectHoldMs);
    connect(&disconnectTimer_, &QTimer::timeout, this, &MainWindow::DisconnectHoldRanOut);

    QTimer::singleShot(kGuideDelayMs, this, [this] { menuForm()->ShowGuide(); });
    SwitchToWaitConnection();
    SwitchConnectionMode(0);
    menuForm()->SetVolumeLevel(0);
    savedGeometry = geometry();
    // Once the window is built, so the check can be replaced.
    QTimer::singleShot(0, this, &MainWindow::CheckPowerScheme);
}

MainWindow::~MainWindow() {
    usbStartTimer_.stop();
    disconnectTimer_.stop();
    // The servers' threads are joined here; what they queue on the way out
    // dies with the window.
    mediaServer.reset();
    usbServer.reset();
    // A running recording is finished; at exit no file browser is opened.
    recording_.Stop();
    if (App())
        App()->recording = false;
    // A screenshot still being written reports to this window.
    QThreadPool::globalInstance()->waitForDone();
    feeder_.setQueue(nullptr);
    if (cameraQueue) {
        cameraQueue->setState(VirtualCameraQueue::kStateStopped);
        cameraQueue->close();
        cameraQueue.reset();
    }
    if (App())
        App()->KillAdbProcess();
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

void MainWindow::OpenCameraQueue() {
    cameraQueue = VirtualCameraQueue::create(VirtualCameraQueue::kSlotCapacity);
    if (!cameraQueue)
        BG_LOGE("the virtual camera queue cannot be opened; pictures are shown but not served");
    feeder_.setQueue(cameraQueue.get());
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
        usbStartTimer_.stop();
        StopUSBServer();
        StartMediaServer();
        return;
    }
    StopMediaServer();
    // Restarted by a second switch to USB, cancelled by a switch back.
    usbStartTimer_.start();
}

void MainWindow::StartMediaServer() {
    qDebug() << "[开启Wifi模式连接]";
    mediaServer.reset();
    mediaServer = MediaServer::Create(this);
    if (!mediaServer->Start(kMediaPort)) {
        BG_LOGE("the media server cannot listen on port %d", kMediaPort);
        // Kept, it would announce a desktop no phone can reach.
        mediaServer.reset();
        mainForm()->SetIpList(QStringList());
        ShowMessage(tr(kMediaPortBusy).arg(kMediaPort));
        return;
    }
    connect(mediaServer.get(), &MediaServer::sig_DecoderInitFailed, this,
            &MainWindow::ShowDecoderFailure);
    ShowAddresses();
}

void MainWindow::StartUSBServer() {
    qDebug() << "[开启USB模式连接]";
    usbServer.reset();
    usbServer = USBServer::Create(this);
    if (!usbServer->Start(kUsbPort)) {
        BG_LOGE("the USB server cannot listen on port %d", kUsbPort);
        ShowMessage(tr(kUsbPortBusy).arg(kUsbPort));
        return;
    }
    connect(usbServer.get(), &USBServer::sig_DecoderInitFailed, this,
            &MainWindow::ShowDecoderFailure);
}

void MainWindow::StopMediaServer() {
    if (!mediaServer)
        return;
    // Joining the server's threads takes a while; the window keeps painting
    // meanwhile. The quit is queued, so a deletion that finishes before the
    // wait begins still ends it.
    MediaServer* server = mediaServer.release();
    // A QObject may only be deleted on another thread while nothing delivers
    // its events: it leaves this thread's event loop first (what is still
    // queued for it is dropped with it).
    server->disconnect(this);
    server->moveToThread(nullptr);
    struct Deletion {
        std::atomic<bool> done{false};
        QEventLoop* wait = nullptr;  // GUI thread only
    };
    auto deletion = std::make_shared<Deletion>();
    QEventLoop wait;
    deletion->wait = &wait;
    QThreadPool::globalInstance()->start([server, deletion] {
        delete server;
        deletion->done = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [deletion] {
                if (deletion->wait)
                    deletion->wait->quit();
            },
            Qt::QueuedConnection);
    });
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    deletion->wait = nullptr;
    // The program is ending (a stop signal quits every event loop): the
    // deletion never needs this thread, so it is simply waited for.
    while (!deletion->done)
        QThread::msleep(2);
}

void MainWindow::StopUSBServer() {
    if (!usbServer)
        return;
    usbServer.release()->deleteLater();
    QEventLoop wait;
    QTimer::singleShot(kUsbStopSpinMs, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::ShowDecoderFailure(const QString& text) {
    ShowMessage(text);
}

void MainWindow::ShowAddresses() {
    const QStringList ips =
        mediaServer ? ToQt(mediaServer->GetLocalAddresses(kAnnouncePort)) : QStringList();
    mainForm()->SetIpList(ips);
}

// ---- connection states ----

void MainWindow::SwitchToWaitConnection() {
    disconnectPending = false;
    disconnectTimer_.stop();
    StopRecord();
    qDebug() << "[MainWindow::SwitchToWaitConnection()]";
    menuForm()->SetDeviceState(QString());
    menuForm()->SetMenuEnabled(false);
    const int mode = App() ? App()->connectMode : 0;
    mainForm()->ShowPage(mode == 0 ? MainForm::kPageWaitWifi : MainForm::kPageWaitUsb);
    tray_->SetToolTip(tr(kToolTipIdle));
    ShowAddresses();
    menuForm()->SetVolumeLevel(0);
}

void MainWindow::SwitchToWaitVideo(QString name) {
    menuForm()->SetDeviceState(name);
    mainForm()->SetConnectedName(name);
    if (disconnectPending) {
        // Back within the hold: the display page stays.
        disconnectPending = false;
        disconnectTimer_.stop();
    } else {
        mainForm()->ShowPage(MainForm::kPageConnected);
    }
    tray_->SetToolTip(tr(kToolTipConnected));
    if (mediaServer)
        mediaServer->StopAnnounce();
    menuForm()->SetVolumeLevel(0);
}

void MainWindow::SwitchToWaitConnectionDelay() {
    disconnectPending = true;
    // Each drop gets a full hold of its own.
    disconnectTimer_.start();
}

void MainWindow::DisconnectHoldRanOut() {
    if (!disconnectPending)
        return;
    // The phone did not come back: the camera and the kept picture go as
    // they would have at once.
    MarkPhoneGone();
    SwitchToWaitConnection();
}

void MainWindow::OnFirstFrameReady() {
    // Every picture before the page turned asked for this; the late ones
    // must not touch the menu, which would end a recording started since.
    if (mainForm()->CurrentPage() == MainForm::kPageDisplay)
        return;
    mainForm()->ShowPage(MainForm::kPageDisplay);
    menuForm()->SetMenuEnabled(true);
}

void MainWindow::MarkPhoneGone() {
    if (cameraQueue)
        cameraQueue->setState(VirtualCameraQueue::kStateStopped);
    lastPicture_.Release();
}

void MainWindow::UpdateVolumn(int volumn) {
    menuForm()->SetVolumeLevel(volumn);
}

// ---- MediaCallback ----

void MainWindow::OnClientConnected(const char* name) {
    BG_LOGI("OnClientConnnectd, device:[%s]", name ? name : "");
    QMetaObject::invokeMethod(this, "SwitchToWaitVideo", Qt::QueuedConnection,
                              Q_ARG(QString, QString::fromUtf8(name ? name : "")));
}

void MainWindow::OnClientDisconnected() {
    BG_LOGI("OnClientDisconnnectd");
    qDebug() << "[MainWindow::OnClientDisconnected()]";
    if (cameraQueue)
        cameraQueue->setState(VirtualCameraQueue::kStateStopped);
    OnStopRecordRequest();
    QMetaObject::invokeMethod(this, "SwitchToWaitConnection", Qt::QueuedConnection);
    lastPicture_.Release();
}

void MainWindow::OnClientDisconnectedDelay() {
    BG_LOGI("OnClientDisconnnectd_Delay");
    qDebug() << "[MainWindow::OnClientDisconnected()_Delay]";
    OnStopRecordRequest();
    QMetaObject::invokeMethod(this, "SwitchToWaitConnectionDelay", Qt::QueuedConnection);
}

void MainWindow::OnVideoFrame(const FrameHolder& frame) {
    if (mainForm()->CurrentPage() != MainForm::kPageDisplay)
        QMetaObject::invokeMethod(this, "OnFirstFrameReady", Qt::QueuedConnection);
    feeder_.Feed(frame);
    mainForm()->RenderFrame(frame);
    recording_.PushVideo(frame);
    lastPicture_.Store(frame);
}

void MainWindow::OnAudioFrame(const FrameHolder& frame) {
    const AVFrame* f = frame.get();
    if (f && f->data[0] && App())
        App()->WriteVirtualMic(f->data[0], f->nb_samples, f->sample_rate, f->ch_layout.nb_channels);
    recording_.PushAudio(frame);
}

void MainWindow::OnScreenShotRequest() {
    QMetaObject::invokeMethod(this, "ScreenShot", Qt::QueuedConnection);
}

void MainWindow::OnStartRecordRequest() {
    QMetaObject::invokeMethod(this, "StartRecord", Qt::QueuedConnection);
}

void MainWindow::OnStopRecordRequest() {
    QMetaObject::invokeMethod(this, "StopRecord", Qt::QueuedConnection);
}

// ---- screenshots and recordings ----

void MainWindow::ScreenShot() {
    const std::string saveDir = App() ? App()->saveDir.toStdString() : std::string();
    std::string message;
    MainWindow* window = this;
    const bool started = ScreenshotWriter::Start(
        lastPicture_.Take(), saveDir,
        [window](const std::string& path) {
            // The window waits for the pool before it goes.
            QMetaObject::invokeMethod(window, "ShowScreenShotResult", Qt::QueuedConnection,
                                      Q_ARG(QString, QString::fromStdString(path)));
        },
        &message);
    if (!started)
        ShowMessage(QCoreApplication::translate("output_path", message.c_str()));
}

void MainWindow::ShowScreenShotResult(QString path) {
    if (path.isEmpty()) {
        ShowMessage(QCoreApplication::translate("output_path", output_path::kMsgShotFailed));
        return;
    }
    if (App() && App()->shotOpenDir)
        OpenFileLocation(path.toStdString());
    else
        menuForm()->ShowShotToast();
}

void MainWindow::StartRecord() {
    ZuCam* app = App();
    std::string message;
    int width = 0;
    int height = 0;
    // The picture lock is let go before the recording takes its own.
    lastPicture_.Size(&width, &height);
    const std::string saveDir = app ? app->saveDir.toStdString() : std::string();
    switch (recording_.Start(saveDir, width, height, &message)) {
        case RecordingController::StartResult::kStarted:
            recordTimerId = startTimer(kRecordTimeTickMs, Qt::CoarseTimer);
            if (app)
                app->recording = true;
            break;
        case RecordingController::StartResult::kAlreadyRecording:
            break;
        case RecordingController::StartResult::kFailed:
            if (app)
                app->recording = false;
            ShowMessage(QCoreApplication::translate("output_path", message.c_str()));
            break;
    }
    menuForm()->UpdateRecordState();
}

void MainWindow::StopRecord() {
    const std::string path = recording_.Stop();
    if (recordTimerId != 0) {
        killTimer(recordTimerId);
        recordTimerId = 0;
    }
    if (App())
        App()->recording = false;
    menuForm()->UpdateRecordState();
    if (!path.empty())
        OpenFileLocation(path);
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == recordTimerId && recordTimerId != 0)
        UpdateRecodTime();
}

void MainWindow::UpdateRecodTime() {
    const qint64 ms = recording_.ElapsedUs() / 1000;
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
