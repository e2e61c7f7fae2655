#include "tools/zucamd/headless-host.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>
#include <QTimer>

extern "C" {
#include <libavutil/frame.h>
}

#include "cordlink/qadb-tools.h"
#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "devices/virtaul-audio-device-manager.h"
#include "devices/virtual-camera-queue.h"
#include "hublet/log-sink.h"
#include "output-path.h"
#include "platform/network-interfaces.h"
#include "screenshot-writer.h"
#include "server/media-server.h"
#include "server/usb-server.h"

namespace {

constexpr int kAnnouncePort = 5008;
constexpr int kDelayedDisconnectMs = 5000;

}  // namespace

HeadlessHost::HeadlessHost(const ZucamdOptions& options) : options_(options) {
    AppContext::setInstance(this);
}

HeadlessHost::~HeadlessHost() {
    Shutdown();
    AppContext::setInstance(nullptr);
}

int HeadlessHost::Start() {
    // A full disk ends a recording by itself; the person hears of it.
    recording_.SetFailureCallback([this](const std::string& path, const std::string& cause) {
        terminal_.Problem("recording stopped: " + path + " could not be written (" + cause +
                          "); what was written up to then is kept");
    });
    settings_.LoadSettings();
    saveDir_ = options_.saveDir.empty() ? settings_.values.saveDir : options_.saveDir;
    if (!CheckSaveDir() && !options_.saveDir.empty())
        return 2;
    if (settings_.values.useHardwareDecoder)
        HardwareCodecDetector::instance()->detect();
    if (!options_.noCamera && !OpenCameraQueue())
        return 1;
    feeder_.setQueue(cameraQueue_.get());
    if (cameraQueue_ && options_.cameraOutput)
        cameraOutput_.Start();
    if (options_.virtualMic)
        OpenVirtualMic();
    if (!(options_.usb ? StartUsbServer() : StartServer()))
        return 1;
    ReportListening();
    return 0;
}

bool HeadlessHost::CheckSaveDir() {
    std::string why;
    if (output_path::Check(saveDir_, output_path::Compose(saveDir_, output_path::kShotName), &why))
        return true;
    BG_LOGE("%s (%s)", why.c_str(), saveDir_.c_str());
    const bool missing = why == output_path::kMsgNoDirectory;
    terminal_.Problem(TerminalReport::SaveDirUnusable(
        saveDir_, missing ? "no such folder" : "it cannot be written to"));
    return false;
}

bool HeadlessHost::OpenCameraQueue() {
    auto queue = std::make_unique<VirtualCameraQueue>(true);
    if (queue->open(VirtualCameraQueue::kSlotCapacity)) {
        cameraQueue_ = std::move(queue);
        return true;
    }
    const bool busy = queue->lastOpenStatus() == platform::SharedMemory::Status::Busy;
    BG_LOGE("the virtual camera queue cannot be opened: %s", queue->lastError().c_str());
    queue->close();
    if (busy) {
        terminal_.Problem(TerminalReport::CameraInUse());
    } else {
        terminal_.Problem("the camera queue cannot be made (" + queue->lastError() +
                          "); run with --no-camera to serve a phone without the camera");
    }
    return false;
}

// Where QAdbTools looks: beside zucamd, then on PATH.
bool HeadlessHost::AdbAvailable() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/adb");
    if (QFileInfo(beside).isExecutable())
        return true;
    return !QStandardPaths::findExecutable(QStringLiteral("adb")).isEmpty();
}

void HeadlessHost::ReportListening() {
    const std::string port = std::to_string(options_.port);
    std::vector<std::string> endpoints;
    if (!options_.usb) {
        for (const std::string& ip :
             MediaServer::AnnounceAddresses(platform::ListNetworkAdapters())) {
            endpoints.push_back(ip + ":" + port);
        }
    }
    // Programs on this computer (zucam-phone-sim, and adb reverse for USB).
    endpoints.push_back("127.0.0.1:" + port);
    terminal_.Listening(endpoints, options_.usb, DeviceName());
    if (options_.usb && !AdbAvailable())
        terminal_.AdbMissing();
}

void HeadlessHost::OpenVirtualMic() {
    std::shared_ptr<VirtaulAudioDeviceManager> vmic;
    // --vmic is the request: a missing source is loaded without asking.
    switch (deviceSession_.OpenVirtualMic([] { return true; }, &vmic)) {
        case DeviceSession::MicResult::kOpened:
            break;
        case DeviceSession::MicResult::kInstallFailed:
            BG_LOGE("虚拟麦克风驱动安装失败");
            terminal_.Problem(
                "the virtual microphone cannot be made: pactl could not load the pipe source "
                "(is PulseAudio or PipeWire running for this user?); serving without it");
            return;
        default:
            BG_LOGE("无法打开虚拟麦克风设备！");
            terminal_.Problem(
                "the virtual microphone cannot be opened (no sound server reads it); serving "
                "without it");
            return;
    }
    std::lock_guard<std::mutex> lock(vmicMutex_);
    vmic_ = std::move(vmic);
    BG_LOGI("virtual microphone open");
}

void HeadlessHost::WriteVirtualMic(const FrameHolder& frame) {
    std::shared_ptr<VirtaulAudioDeviceManager> vmic;
    {
        std::lock_guard<std::mutex> lock(vmicMutex_);
        vmic = vmic_;
    }
    if (!vmic || !frame.data(0))
        return;
    const AVFrame* f = frame.get();
    vmic->pushAudio(reinterpret_cast<const int16_t*>(f->data[0]), f->nb_samples, f->sample_rate,
                    f->ch_layout.nb_channels);
}

bool HeadlessHost::StartUsbServer() {
    usbServer_ = USBServer::Create(this);
    connect(usbServer_.get(), &USBServer::sig_DecoderInitFailed, this,
            &HeadlessHost::ShowDecoderFailure, Qt::QueuedConnection);
    if (!usbServer_->Start(options_.port)) {
        BG_LOGE("无法启动USB传输服务，由于%d端口被占用", options_.port);
        terminal_.Problem(TerminalReport::PortInUse(options_.port));
        usbServer_.reset();
        return false;
    }
    BG_LOGI("zucamd serving USB phones on port %d", options_.port);
    return true;
}

bool HeadlessHost::StartServer() {
    mediaServer_ = MediaServer::Create(this);
    connect(mediaServer_.get(), &MediaServer::sig_DecoderInitFailed, this,
            &HeadlessHost::ShowDecoderFailure, Qt::QueuedConnection);
    if (!mediaServer_->Start(options_.port)) {
        BG_LOGE("无法启动媒体传输服务，由于%d端口被占用", options_.port);
        terminal_.Problem(TerminalReport::PortInUse(options_.port));
        mediaServer_.reset();
        return false;
    }
    BG_LOGI("zucamd serving Wi-Fi phones on port %d", options_.port);
    Announce();
    return true;
}

void HeadlessHost::Announce() {
    if (!mediaServer_ || !options_.announce)
        return;
    std::vector<std::string> ips = mediaServer_->GetLocalAddresses(kAnnouncePort);
    std::string list;
    for (const std::string& ip : ips)
        list += (list.empty() ? "" : ", ") + ip;
    BG_LOGI("announcing \"%s\" from: %s", DeviceName().c_str(),
            list.empty() ? "---.---.---.---" : list.c_str());
}

void HeadlessHost::Shutdown() {
    mediaServer_.reset();
    // The USB server's destructor hands the ADB tools to deleteLater (and
    // forgets them here); with the event loop gone that deletion would never
    // run, leaving the port mappings in place. They are deleted here, after
    // the pending deletion is withdrawn: the destructor waits for adb in a
    // local event loop, which would otherwise deliver it and delete them a
    // second time.
    zu::QAdbTools* tools = adbTools_;
    usbServer_.reset();
    if (tools) {
        QCoreApplication::removePostedEvents(tools, QEvent::DeferredDelete);
        delete tools;
    }
    adbTools_ = nullptr;
    deviceSession_.EndAdbServer();
    StopRecord();
    {
        std::lock_guard<std::mutex> lock(vmicMutex_);
        vmic_.reset();
    }
    deviceSession_.ReleaseMicSource();
    cameraOutput_.Stop();
    if (cameraQueue_) {
        cameraQueue_->close();
        cameraQueue_.reset();
    }
    feeder_.setQueue(nullptr);
}

bool HeadlessHost::IsRecording() const {
    return recording_.IsRecording();
}

std::string HeadlessHost::DeviceName() const {
    return settings_.values.deviceName;
}

std::string HeadlessHost::SaveDir() const {
    return saveDir_;
}

zu::QAdbTools* HeadlessHost::AdbTools() {
    deviceSession_.BeforeAdbUse();
    if (!adbTools_) {
        adbTools_ = new zu::QAdbTools();
        // The session knows which adb server is ours to end.
        adbTools_->setEndAdbServerOnDestroy(false);
    }
    return adbTools_;
}

void HeadlessHost::ReleaseAdbTools() {
    if (!adbTools_)
        return;
    // Its destructor removes the port mappings and ends the adb server; it
    // runs once the current event (possibly an adb wait) has returned.
    adbTools_->deleteLater();
    adbTools_ = nullptr;
}

void HeadlessHost::UpdateVolumn(int) {
    // No window to show the level meter.
}

bool HeadlessHost::PlayAudio() const {
    return settings_.values.playAudio;
}

void HeadlessHost::OnClientConnected(const char* name) {
    BG_LOGI("OnClientConnnectd, device:[%s]", name);
    const bool udp = mediaServer_ && mediaServer_->StreamIsUdp();
    terminal_.PhoneConnected(name ? name : "", options_.usb ? "TCP through the USB cable"
                                               : udp        ? "Zup2p"
                                                            : "TCP");
    // A phone back within the hold keeps its picture and recording state.
    disconnectPending_ = false;
    firstPictureLogged_ = false;
    QMetaObject::invokeMethod(this, "StopAnnounce", Qt::QueuedConnection);
}

void HeadlessHost::OnUnsupportedPicture() {
    terminal_.UnsupportedPicture();
}

void HeadlessHost::OnClientDisconnected() {
    BG_LOGI("OnClientDisconnnectd");
    terminal_.PhoneGone(false, 0);
    MarkPhoneGone();
    QMetaObject::invokeMethod(this, "StopRecord", Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, "SwitchToWaitConnection", Qt::QueuedConnection);
}

void HeadlessHost::MarkPhoneGone() {
    if (cameraQueue_)
        cameraQueue_->setState(VirtualCameraQueue::kStateStopped);
    lastPicture_.Release();
}

void HeadlessHost::OnClientDisconnectedDelay() {
    BG_LOGI("OnClientDisconnnectd_Delay");
    terminal_.PhoneGone(true, kDelayedDisconnectMs / 1000);
    QMetaObject::invokeMethod(this, "StopRecord", Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, "SwitchToWaitConnectionDelay", Qt::QueuedConnection);
}

void HeadlessHost::OnVideoFrame(const FrameHolder& frame) {
    if (!firstPictureLogged_.exchange(true)) {
        BG_LOGI("first picture %dx%d", frame.width(), frame.height());
        terminal_.FirstPicture(frame.width(), frame.height());
    }
    feeder_.Feed(frame);
    recording_.PushVideo(frame);
    lastPicture_.Store(frame);
}

void HeadlessHost::OnAudioFrame(const FrameHolder& frame) {
    // The microphone first: a recording's push may wait for room in its
    // queue, and the microphone must not fall behind it.
    WriteVirtualMic(frame);
    recording_.PushAudio(frame);
}

void HeadlessHost::OnScreenShotRequest() {
    QMetaObject::invokeMethod(this, "ScreenShot", Qt::QueuedConnection);
}

void HeadlessHost::OnStartRecordRequest() {
    QMetaObject::invokeMethod(this, "StartRecord", Qt::QueuedConnection);
}

void HeadlessHost::OnStopRecordRequest() {
    QMetaObject::invokeMethod(this, "StopRecord", Qt::QueuedConnection);
}

void HeadlessHost::ScreenShot() {
    std::string message;
    bool started = ScreenshotWriter::Start(
        lastPicture_.Take(), saveDir_,
        [this](const std::string& path) {
            if (path.empty()) {
                BG_LOGE("%s", output_path::kMsgShotFailed);
                terminal_.Problem("screenshot failed: " +
                                  TerminalReport::Explain(output_path::kMsgShotFailed));
            } else {
                BG_LOGI("screenshot saved: %s", path.c_str());
                terminal_.Screenshot(path);
            }
        },
        &message);
    if (!started) {
        BG_LOGE("%s", message.c_str());
        terminal_.Problem("screenshot failed: " + TerminalReport::Explain(message));
    }
}

void HeadlessHost::StartRecord() {
    int width = 0;
    int height = 0;
    lastPicture_.Size(&width, &height);
    std::string message;
    switch (recording_.Start(saveDir_, width, height, &message)) {
        case RecordingController::StartResult::kStarted:
            terminal_.RecordingStarted(recording_.RecordPath());
            break;
        case RecordingController::StartResult::kAlreadyRecording:
            break;
        case RecordingController::StartResult::kFailed:
            BG_LOGE("%s", message.c_str());
            terminal_.Problem("recording failed: " + TerminalReport::Explain(message));
            break;
    }
}

void HeadlessHost::StopRecord() {
    const std::string path = recording_.Stop();
    if (!path.empty())
        terminal_.RecordingStopped(path);
}

void HeadlessHost::SwitchToWaitConnection() {
    disconnectPending_ = false;
    StopRecord();
    Announce();
}

void HeadlessHost::SwitchToWaitConnectionDelay() {
    disconnectPending_ = true;
    // Only the latest hold counts: a phone that came back and left again
    // gets its own full hold.
    const unsigned generation = ++holdGeneration_;
    QTimer::singleShot(kDelayedDisconnectMs, Qt::CoarseTimer, this, [this, generation] {
        if (!disconnectPending_ || generation != holdGeneration_)
            return;
        // The phone did not come back: what an immediate disconnection does
        // at once happens now.
        BG_LOGI("the held picture is released: the phone did not come back");
        terminal_.HoldRanOut();
        MarkPhoneGone();
        SwitchToWaitConnection();
    });
}

void HeadlessHost::StopAnnounce() {
    disconnectPending_ = false;
    if (mediaServer_)
        mediaServer_->StopAnnounce();
}

void HeadlessHost::ShowDecoderFailure(const QString& text) {
    BG_LOGE("%s", text.toUtf8().constData());
}
