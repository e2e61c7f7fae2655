#include "zucam.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <algorithm>

#include "camera-output-process.h"
#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "devices/audio-driver-installer.h"
#include "devices/device-session.h"
#include "devices/virtaul-audio-device-manager.h"
#include "host-system.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "platform/process-list.h"
#include "platform/system-info.h"
#include "window-stacking.h"

namespace {

ZuCam::WindowFactory& MainWindowFactory() {
    static ZuCam::WindowFactory factory;
    return factory;
}

// Optional modules of the module host: the version check answers the
// settings dialog's "VPSignal.vercheck" when it is installed.
const char* const kOptionalModules[] = {"vercheck"};

constexpr SingleApplication::Options kInstanceOptions =
    SingleApplication::User | SingleApplication::System | SingleApplication::SecondaryNotification;
constexpr int kInstanceTimeoutMs = 1000;

// The log keeps these designed texts; the boxes show them translated.
const char* const kInstallDriverQuestion =
    QT_TRANSLATE_NOOP("ZuCam",
                      "未安装虚拟麦克风驱动，需要先安装驱动才可使用，是否安装？\n"
                      "安装后可能需要重启电脑才能正常使用。");
const char* const kDriverInstallFailed = QT_TRANSLATE_NOOP("ZuCam", "虚拟麦克风驱动安装失败");
const char* const kCannotOpenVirtualMic = QT_TRANSLATE_NOOP("ZuCam", "无法打开虚拟麦克风设备！");

}  // namespace

void ZuCam::SetMainWindowFactory(WindowFactory factory) {
    MainWindowFactory() = std::move(factory);
}

ZuCam::ZuCam(int& argc, char** argv)
    : SingleApplication(argc, argv, true, kInstanceOptions, kInstanceTimeoutMs) {
    DeviceSession::Tools tools = DeviceSession::SystemTools();
    // Tests open a link of their own through the virtual CreateVirtualMic.
    tools.openMicLink = [this] { return CreateVirtualMic(); };
    deviceSession_ = std::make_unique<DeviceSession>(std::move(tools));
    connect(this, &SingleApplication::receivedMessage, this, &ZuCam::OnReceivedMessage);
    // Only once the event loop runs: a secondary instance never starts it,
    // so it never initialises.
    QMetaObject::invokeMethod(this, "Initialize", Qt::QueuedConnection);
    AppContext::setInstance(this);
}

ZuCam::~ZuCam() {
    delete mainWindow.data();
    cameraOutput_.reset();
    SaveSettings();
    SetVirtualMic(nullptr);
    deviceSession_->ReleaseMicSource();
    DeleteAdbTools();
    deviceSession_->EndAdbServer();
    if (AppContext::instance() == this)
        AppContext::setInstance(nullptr);
}

ZuCam* ZuCam::instance() {
    return qobject_cast<ZuCam*>(QCoreApplication::instance());
}

void ZuCam::LoadSettings() {
    settings_.LoadSettings();
    const AppSettings::Values& v = settings_.values;
    SetSaveDir(QString::fromStdString(v.saveDir));
    deviceName = QString::fromStdString(v.deviceName);
    firstOpen = v.firstOpen;
    shotOpenDir = v.shotOpenDir;
    windowStaysOnTop = v.windowStaysOnTop;
    openVirtualMic = v.openVirtualMic;
    playAudio = v.playAudio;
    useHardwareDecoder = v.useHardwareDecoder;
    useHardwareRender = v.useHardwareRender;
}

// Only settings that were loaded are written back: a secondary instance, which
// never initialises, would otherwise replace the user's settings with blanks.
void ZuCam::SaveSettings() {
    if (!settings_.loaded())
        return;
    AppSettings::Values& v = settings_.values;
    v.saveDir = saveDir.toStdString();
    v.deviceName = deviceName.toStdString();
    v.firstOpen = firstOpen;
    v.shotOpenDir = shotOpenDir;
    v.windowStaysOnTop = windowStaysOnTop;
    v.openVirtualMic = openVirtualMic;
    v.useHardwareRender = useHardwareRender;
    settings_.SaveSettings();
}

void ZuCam::Initialize() {
    LoadSettings();
    if (useHardwareDecoder)
        HardwareCodecDetector::instance()->detect();
    const QScreen* screen = QGuiApplication::primaryScreen();
    scaleFactor = screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
    const int count = bg::LoadModules(kOptionalModules, 1, true);
    BG_LOGE("----> loaded modules count=%d", count);
    const bool micOpened = openVirtualMic ? OpenVirtualMic(false) : true;
    registerCameraFilters();
    if (!arguments().contains(QStringLiteral("--no-camera-output"))) {
        cameraOutput_ = std::make_unique<CameraOutputProcess>();
        cameraOutput_->Start();
    }

    WindowFactory& factory = MainWindowFactory();
    mainWindow = factory ? factory() : nullptr;
    if (!mainWindow) {
        BG_LOGE(
            "the main window could not be created (it is not part of this build); ZuCam exits "
            "with code 1");
        exit(1);
        return;
    }
    installEventFilter(new WindowStacking(this));
    SetWindowStaysOnTop(windowStaysOnTop);
    mainWindow->show();
    if (!micOpened)
        ShowMessage(QString::fromUtf8(kCannotOpenVirtualMic));
}

bool ZuCam::CanShowDialogs() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    // The offscreen and minimal platforms have screens nobody looks at: a
    // modal box there would wait for a click that never comes.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return QGuiApplication::primaryScreen() != nullptr;
}

QString ZuCam::MessageTitle() const {
    // Before the main window there is only the program's name to give.
    return mainWindow ? mainWindow->windowTitle() : applicationDisplayName();
}

bool ZuCam::AskQuestion(const QString& text) {
    BG_LOGI("question for the user: %s", qUtf8Printable(text));
    if (!CanShowDialogs()) {
        BG_LOGW("nobody can answer without a screen; taken as 取消");
        return false;
    }
    QMessageBox box(QMessageBox::Question, QString(),
                    QCoreApplication::translate("ZuCam", qUtf8Printable(text)),
                    QMessageBox::NoButton, mainWindow.data());
    box.setWindowTitle(MessageTitle());
    QPushButton* ok =
        box.addButton(QCoreApplication::translate("ZuCam", "确定"), QMessageBox::AcceptRole);
    box.addButton(QCoreApplication::translate("ZuCam", "取消"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == ok;
}

void ZuCam::ShowMessage(const QString& text) {
    BG_LOGE("message for the user: %s", qUtf8Printable(text));
    if (!CanShowDialogs())
        return;
    QMessageBox box(QMessageBox::Information, QString(),
                    QCoreApplication::translate("ZuCam", qUtf8Printable(text)),
                    QMessageBox::NoButton, mainWindow.data());
    box.setWindowTitle(MessageTitle());
    box.addButton(QCoreApplication::translate("ZuCam", "确定"), QMessageBox::AcceptRole);
    box.exec();
}

std::shared_ptr<VirtaulAudioDeviceManager> ZuCam::CreateVirtualMic() {
    return VirtaulAudioDeviceManager::create();
}

bool ZuCam::OpenVirtualMic(bool askInstall) {
    // Start-up asks nobody: Initialize tells the user the open failed.
    std::function<bool()> ask;
    if (askInstall)
        ask = [this] { return AskQuestion(QString::fromUtf8(kInstallDriverQuestion)); };
    std::shared_ptr<VirtaulAudioDeviceManager> mic;
    switch (deviceSession_->OpenVirtualMic(ask, &mic)) {
        case DeviceSession::MicResult::kNotInstalled:
        case DeviceSession::MicResult::kDeclined:
            openVirtualMic = false;
            return false;
        case DeviceSession::MicResult::kInstallFailed:
            openVirtualMic = false;
            ShowMessage(QString::fromUtf8(kDriverInstallFailed));
            return false;
        case DeviceSession::MicResult::kOpened:
        case DeviceSession::MicResult::kOpenFailed:
            openVirtualMic = mic != nullptr;
            SetVirtualMic(std::move(mic));
            break;
    }
    if (askInstall && !openVirtualMic)
        ShowMessage(QString::fromUtf8(kCannotOpenVirtualMic));
    return openVirtualMic;
}

void ZuCam::SetVirtualMic(std::shared_ptr<VirtaulAudioDeviceManager> mic) {
    std::shared_ptr<VirtaulAudioDeviceManager> previous;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        previous = std::move(virtualMic);
        virtualMic = std::move(mic);
    }
    // Released outside the lock: closing the link stops its output stream,
    // which waits for the stream's thread, and the audio thread must never
    // wait on that to hand over a block.
    previous.reset();
}

void ZuCam::CloseVirtualMic() {
    SetVirtualMic(nullptr);
    openVirtualMic = false;
}

void ZuCam::WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels) {
    // A reference of our own keeps the link alive while CloseVirtualMic runs
    // on the GUI thread; the last holder closes it.
    std::shared_ptr<VirtaulAudioDeviceManager> mic;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        mic = virtualMic;
    }
    if (!mic || !samples)
        return;
    // The resampler reads the samples as bytes; the pointer is only passed on.
    mic->pushAudio(reinterpret_cast<const int16_t*>(samples), sampleCount, sampleRate, channels);
}

void ZuCam::SetWindowStaysOnTop(bool onTop) {
    windowStaysOnTop = onTop;
    if (!mainWindow)
        return;
    // Its dialogs, the settings dialog that changed this among them, stay
    // above it and stay open.
    WindowStacking::SetStaysOnTop(mainWindow, onTop);
}

void ZuCam::SetSaveDir(const QString& dir) {
    saveDir = dir;
    std::lock_guard<std::mutex> lock(saveDirMutex_);
    saveDirForServers_ = dir.toStdString();
}

std::string ZuCam::SaveDir() const {
    std::lock_guard<std::mutex> lock(saveDirMutex_);
    return saveDirForServers_;
}

void ZuCam::SetUseHardwareRender(bool use) {
    useHardwareRender = use;
}

void ZuCam::SetDeviceName(const QString& name) {
    deviceName = name;
    AppSettings::PublishDeviceName(name.toStdString());
}

void ZuCam::SetConnectMode(int mode) {
    connectMode = mode;
    if (!mainWindow)
        return;
    if (!QMetaObject::invokeMethod(mainWindow.data(), "SwitchConnectionMode", Qt::DirectConnection,
                                   Q_ARG(int, mode))) {
        BG_LOGE("the main window cannot switch the connection mode to %d", mode);
    }
}

// Only an adb server ZuCam started (this run, or one that crashed) is ended:
// an Android developer's own adb server keeps running.
void ZuCam::KillAdbProcess() {
    if (deviceSession_->EndAdbServer() > 0)
        qDebug() << "[adb]adb未关闭，执行kill()";
}

bool ZuCam::IsPowerSaverActive() const {
    return platform::IsPowerSaverActive();
}

std::string ZuCam::DeviceName() const {
    // The servers ask from their own threads: the named value is guarded by
    // the host, the deviceName member is not.
    if (!CD || !CD->valueStore)
        return std::string();
    return CD->valueStore->get(AppSettings::kDeviceNameValue).toStdString();
}

zu::QAdbTools* ZuCam::AdbTools() {
    deviceSession_->BeforeAdbUse();
    if (!adbTools) {
        adbTools = new zu::QAdbTools();
        // The session knows which adb server is ours to end.
        adbTools->setEndAdbServerOnDestroy(false);
    }
    return adbTools;
}

void ZuCam::ReleaseAdbTools() {
    if (!adbTools)
        return;
    // Its destructor removes the port mappings and ends the adb server; it
    // runs once the current event (possibly an adb wait) has returned.
    adbTools->deleteLater();
    // Only the ones still waiting for their turn are kept.
    releasedAdbTools_.erase(std::remove_if(releasedAdbTools_.begin(), releasedAdbTools_.end(),
                                           [](const QPointer<zu::QAdbTools>& p) { return !p; }),
                            releasedAdbTools_.end());
    releasedAdbTools_.emplace_back(adbTools);
    adbTools = nullptr;
}

// The main window's destructor ends the USB server, which releases the tools
// with deleteLater; by then the event loop has ended and would never get to
// them: the port mappings would outlive ZuCam and the tools would leak.
void ZuCam::DeleteAdbTools() {
    ReleaseAdbTools();
    for (QPointer<zu::QAdbTools>& released : releasedAdbTools_) {
        zu::QAdbTools* tools = released.data();
        if (!tools)
            continue;
        // The destructor waits for adb in a local event loop, where the
        // pending deferred delete would delete the tools a second time.
        QCoreApplication::removePostedEvents(tools, QEvent::DeferredDelete);
        delete tools;
    }
    releasedAdbTools_.clear();
}

void ZuCam::UpdateVolumn(int level) {
    // The level meter calls from the audio thread; the window pointer is only
    // looked at on the GUI thread.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, level] { UpdateVolumn(level); }, Qt::QueuedConnection);
        return;
    }
    if (!mainWindow)
        return;
    QMetaObject::invokeMethod(mainWindow.data(), "UpdateVolumn", Qt::AutoConnection,
                              Q_ARG(int, level));
}

void ZuCam::OnReceivedMessage(quint32 instanceId, QByteArray message) {
    qDebug() << "[SingleApplication] message from instance" << instanceId << message;
    if (!message.contains("show") || !mainWindow)
        return;
    mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}
