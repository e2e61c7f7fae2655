#include "zucam.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <string>

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "devices/audio-driver-installer.h"
#include "devices/virtaul-audio-device-manager.h"
#include "host-system.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "phone-session.h"
#include "platform/process-list.h"
#include "platform/system-info.h"
#include "web/web-link.h"
#include "web/web-phone-service.h"
#include "window-stacking.h"

namespace {

ZuCam::WindowFactory& MainWindowFactory() {
    static ZuCam::WindowFactory factory;
    return factory;
}

ZuCam::MessageBox& InstalledMessageBox() {
    static ZuCam::MessageBox box;
    return box;
}

// Optional modules of the module host: the version check answers the
// settings dialog's "VPSignal.vercheck" when it is installed.
const char* const kOptionalModules[] = {"vercheck"};

constexpr SingleApplication::Options kInstanceOptions =
    SingleApplication::User | SingleApplication::System | SingleApplication::SecondaryNotification;
constexpr int kInstanceTimeoutMs = 1000;

// Each box says what happened, then why and what to do.
const char* const kInstallDriverQuestion =
    QT_TRANSLATE_NOOP("ZuCam",
                      "未安装虚拟麦克风驱动，需要先安装驱动才可使用，是否安装？\n"
                      "安装后可能需要重启电脑才能正常使用。");
const char* const kDriverInstallFailed = QT_TRANSLATE_NOOP("ZuCam", "虚拟麦克风驱动安装失败");
const char* const kCannotOpenVirtualMic = QT_TRANSLATE_NOOP("ZuCam", "无法打开虚拟麦克风设备！");
const char* const kInstallFailedReason = QT_TRANSLATE_NOOP(
    "ZuCam",
    "没有 PulseAudio 或 PipeWire 声音服务应答（pactl 无法加载虚拟麦克风）。\n"
    "请安装并启动 PulseAudio，或 PipeWire 和 pipewire-pulse，然后重新打开虚拟麦克风。");
const char* const kCannotOpenReason = QT_TRANSLATE_NOOP(
    "ZuCam",
    "声音服务没有读取虚拟麦克风（ZuAudioDevice）。\n"
    "请确认 PulseAudio 或 PipeWire（pipewire-pulse）正在运行，然后在设置中重新打开虚拟麦克风。");

QString Tr(const char* text) {
    return QCoreApplication::translate("ZuCam", text);
}

// What happened and, on the next lines, why and what to do.
QString WithReason(const char* text, const char* reason) {
    return Tr(text) + QLatin1Char('\n') + Tr(reason);
}

}  // namespace

void ZuCam::SetMainWindowFactory(WindowFactory factory) {
    MainWindowFactory() = std::move(factory);
}

void ZuCam::SetMessageBox(MessageBox box) {
    InstalledMessageBox() = std::move(box);
}

ZuCam::ZuCam(int& argc, char** argv)
    : SingleApplication(argc, argv, true, kInstanceOptions, kInstanceTimeoutMs) {
    connect(this, &SingleApplication::receivedMessage, this, &ZuCam::OnReceivedMessage);
    // Only once the event loop runs: a secondary instance never starts it,
    // so it never initialises.
    QMetaObject::invokeMethod(this, "Initialize", Qt::QueuedConnection);
    AppContext::setInstance(this);
}

ZuCam::~ZuCam() {
    delete mainWindow.data();
    SaveSettings();
    // The servers, the camera, the microphone and the adb server this run
    // started go with the session.
    session_.reset();
    if (AppContext::instance() == this)
        AppContext::setInstance(nullptr);
}

PhoneSession* ZuCam::session() {
    if (!session_) {
        PhoneSession::Options options;
        // Tests open a link of their own through the virtual CreateVirtualMic.
        options.devices.openMicLink = [this] { return CreateVirtualMic(); };
        session_ = std::make_unique<PhoneSession>(std::move(options));
    }
    return session_.get();
}

ZuCam* ZuCam::instance() {
    return qobject_cast<ZuCam*>(QCoreApplication::instance());
}

void ZuCam::LoadSettings() {
    settings_.LoadSettings();
    const AppSettings::Values& v = settings_.values;
    settingsReady_ = false;
    SetSaveDir(QString::fromStdString(v.saveDir));
    deviceName_ = QString::fromStdString(v.deviceName);
    firstOpen_ = v.firstOpen;
    shotOpenDir_ = v.shotOpenDir;
    windowStaysOnTop_ = v.windowStaysOnTop;
    openVirtualMic_ = v.openVirtualMic;
    playAudio_ = v.playAudio;
    useHardwareDecoder_ = v.useHardwareDecoder;
    useHardwareRender_ = v.useHardwareRender;
    webPort_ = WebPhoneService::ConfiguredPort();
    settingsReady_ = true;
}

void ZuCam::SettingChanged() {
    if (settingsReady_)
        SaveSettings();
}

// Only settings that were loaded are written back: a secondary instance, which
// never initialises, would otherwise replace the user's settings with blanks.
void ZuCam::SaveSettings() {
    if (!settings_.loaded())
        return;
    AppSettings::Values& v = settings_.values;
    v.saveDir = saveDir_.toStdString();
    v.deviceName = deviceName_.toStdString();
    v.firstOpen = firstOpen_;
    v.shotOpenDir = shotOpenDir_;
    v.windowStaysOnTop = windowStaysOnTop_;
    v.openVirtualMic = openVirtualMic_;
    v.useHardwareRender = useHardwareRender_;
    settings_.SaveSettings();
}

void ZuCam::Initialize() {
    LoadSettings();
    // Qt makes every window able to hold an OpenGL child unless told not to,
    // and that loads the system's OpenGL driver as each window is made (with
    // Mesa's llvmpipe some 50 MB) though the software renderer never uses it.
    // With that renderer the windows stay plain; OpenGL then shows from the
    // next start.
    setAttribute(Qt::AA_ForceRasterWidgets, !useHardwareRender_);
    if (useHardwareDecoder_)
        HardwareCodecDetector::instance()->detect();
    const QScreen* screen = QGuiApplication::primaryScreen();
    scaleFactor = screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
    const int count = bg::LoadModules(kOptionalModules, 1, true);
    // Every module is optional: none at all is no fault.
    BG_LOGI("----> loaded modules count=%d", count);
    const bool micOpened = openVirtualMic_ ? OpenVirtualMic(false) : true;
    registerCameraFilters();
    if (!arguments().contains(QStringLiteral("--no-camera-output"))) {
        // The camera's waiting picture speaks the window's language, which
        // is the default locale by now.
        CameraOutputProcess::Options camera;
        camera.language = QLocale().language() == QLocale::Chinese ? "zh" : "en";
        session()->StartCameraOutput(camera);
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
    SetWindowStaysOnTop(windowStaysOnTop_);
    mainWindow->show();
    if (!micOpened)
        ShowMessage(WithReason(kCannotOpenVirtualMic, kCannotOpenReason));
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
    if (const MessageBox& show = InstalledMessageBox())
        return show(mainWindow.data(), text, true);
    QMessageBox box(QMessageBox::Question, QString(), text, QMessageBox::NoButton,
                    mainWindow.data());
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
    if (const MessageBox& show = InstalledMessageBox()) {
        show(mainWindow.data(), text, false);
        return;
    }
    QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::NoButton,
                    mainWindow.data());
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
        ask = [this] { return AskQuestion(Tr(kInstallDriverQuestion)); };
    switch (session()->OpenVirtualMic(ask)) {
        case DeviceSession::MicResult::kNotInstalled:
        case DeviceSession::MicResult::kDeclined:
            SetOpenVirtualMic(false);
            return false;
        case DeviceSession::MicResult::kInstallFailed:
            SetOpenVirtualMic(false);
            ShowMessage(WithReason(kDriverInstallFailed, kInstallFailedReason));
            return false;
        case DeviceSession::MicResult::kOpened:
        case DeviceSession::MicResult::kOpenFailed:
            SetOpenVirtualMic(session()->HasVirtualMic());
            break;
    }
    if (askInstall && !openVirtualMic_)
        ShowMessage(WithReason(kCannotOpenVirtualMic, kCannotOpenReason));
    return openVirtualMic_;
}

void ZuCam::CloseVirtualMic() {
    if (session_)
        session_->CloseVirtualMic();
    SetOpenVirtualMic(false);
}

void ZuCam::SetOpenVirtualMic(bool open) {
    openVirtualMic_ = open;
    SettingChanged();
}

void ZuCam::WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels) {
    if (session_)
        session_->WriteVirtualMic(samples, sampleCount, sampleRate, channels);
}

void ZuCam::SetWindowStaysOnTop(bool onTop) {
    windowStaysOnTop_ = onTop;
    SettingChanged();
    if (!mainWindow)
        return;
    // Its dialogs, the settings dialog that changed this among them, stay
    // above it and stay open.
    WindowStacking::SetStaysOnTop(mainWindow, onTop);
}

void ZuCam::SetSaveDir(const QString& dir) {
    saveDir_ = dir;
    {
        std::lock_guard<std::mutex> lock(saveDirMutex_);
        saveDirForServers_ = dir.toStdString();
    }
    SettingChanged();
}

void ZuCam::SetShotOpenDir(bool open) {
    shotOpenDir_ = open;
    SettingChanged();
}

void ZuCam::SetFirstOpen(bool first) {
    firstOpen_ = first;
    SettingChanged();
}

// Neither is written back to the settings file, so nothing goes to disk.
void ZuCam::SetPlayAudio(bool play) {
    playAudio_ = play;
}

void ZuCam::SetUseHardwareDecoder(bool use) {
    useHardwareDecoder_ = use;
}

std::string ZuCam::SaveDir() const {
    std::lock_guard<std::mutex> lock(saveDirMutex_);
    return saveDirForServers_;
}

void ZuCam::SetUseHardwareRender(bool use) {
    useHardwareRender_ = use;
    if (use && testAttribute(Qt::AA_ForceRasterWidgets))
        BG_LOGI("the OpenGL renderer is used from the next start of ZuCam");
    SettingChanged();
}

bool ZuCam::SetWebPort(int port) {
    if (port < 0 || port > 65535) {
        BG_LOGW("%d is no port; the phone page stays on %d", port, webPort_);
        return false;
    }
    if (port == webPort_)
        return true;
    webPort_ = port;
    // Its own key, outside the loaded set: stored by itself, at once.
    AppSettings::SetString(WebLink::kPortKey, std::to_string(port));
    BG_LOGI("the phone page moves to port %d", port);
    if (session_) {
        session_->SetWebPort(port);
        session_->RestartWebPhone();
    }
    return true;
}

void ZuCam::SetDeviceName(const QString& name) {
    deviceName_ = name;
    AppSettings::PublishDeviceName(name.toStdString());
    SettingChanged();
    // The announcements carry the new name from now on.
    if (session_)
        session_->DeviceNameChanged();
    emit deviceNameChanged(name);
}

void ZuCam::SetConnectMode(int mode) {
    connectMode_ = mode;
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
    if (session()->EndAdbServer() > 0)
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
    return session()->AdbTools();
}

void ZuCam::ReleaseAdbTools() {
    if (session_)
        session_->ReleaseAdbTools();
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
