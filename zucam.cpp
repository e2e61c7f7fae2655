#include "zucam.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QThread>

#include "host-system.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "platform/process-list.h"
#include "platform/system-info.h"

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

}  // namespace

void ZuCam::SetMainWindowFactory(WindowFactory factory) {
    MainWindowFactory() = std::move(factory);
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
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        virtualMic.reset();
    }
    if (AppContext::instance() == this)
        AppContext::setInstance(nullptr);
}

ZuCam* ZuCam::instance() {
    return qobject_cast<ZuCam*>(QCoreApplication::instance());
}

void ZuCam::LoadSettings() {
    settings_.LoadSettings();
    const AppSettings::Values& v = settings_.values;
    saveDir = QString::fromStdString(v.saveDir);
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
        DetectHardwareDecoders();
    const QScreen* screen = QGuiApplication::primaryScreen();
    scaleFactor = screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
    const int count = bg::LoadModules(kOptionalModules, 1, true);
    BG_LOGE("----> loaded modules count=%d", count);
    const bool micOpened = openVirtualMic ? OpenVirtualMic(false) : true;
    RegisterCameraFilter();

    WindowFactory& factory = MainWindowFactory();
    mainWindow = factory ? factory() : nullptr;
    if (!mainWindow) {
        BG_LOGE(
            "the main window could not be created (it is not part of this build); ZuCam exits "
            "with code 1");
        exit(1);
        return;
    }
    SetWindowStaysOnTop(windowStaysOnTop);
    mainWindow->show();
    if (!micOpened)
        ShowMessageBox("无法打开虚拟麦克风设备！");
}

void ZuCam::DetectHardwareDecoders() {
    BG_LOGW("hardware decoder detection is not part of this build; decoding in software");
}

void ZuCam::RegisterCameraFilter() {
    BG_LOGI("camera filter registration is not part of this build; nothing registered");
}

// The program's own message box arrives with its dialogs; until then the
// user-facing texts go to the log.
void ZuCam::ShowMessageBox(const char* text) {
    BG_LOGE("message for the user: %s", text);
}

bool ZuCam::OpenVirtualMic(bool askInstall) {
    // Without the microphone link and its driver installer the microphone
    // cannot open; say so rather than pretend it did.
    BG_LOGW("the virtual microphone is not part of this build");
    openVirtualMic = false;
    if (askInstall)
        ShowMessageBox("无法打开虚拟麦克风设备！");
    return false;
}

void ZuCam::CloseVirtualMic() {
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        virtualMic.reset();
    }
    openVirtualMic = false;
}

void ZuCam::WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels) {
    // A reference of our own keeps the link alive while CloseVirtualMic runs
    // on the GUI thread.
    std::shared_ptr<VirtaulAudioDeviceManager> mic;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        mic = virtualMic;
    }
    // No link can be open in this build (OpenVirtualMic never creates one);
    // the hand-over to pushAudio arrives with the microphone link.
    (void)mic;
    (void)samples;
    (void)sampleCount;
    (void)sampleRate;
    (void)channels;
}

void ZuCam::SetWindowStaysOnTop(bool onTop) {
    windowStaysOnTop = onTop;
    if (!mainWindow)
        return;
    // Changing window flags hides the window; show it again.
    mainWindow->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    mainWindow->show();
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

void ZuCam::KillAdbProcess() {
    long pid = 0;
    if (!FindProcessByName("adb", &pid))
        return;
    qDebug() << "[adb]adb未关闭，执行kill()";
    platform::TerminateProcess(pid);
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
    BG_LOGE("USB support (the ADB tools) is not part of this build");
    return nullptr;
}

// AdbTools never creates the tools in this build, so there is nothing to release.
void ZuCam::ReleaseAdbTools() {}

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
