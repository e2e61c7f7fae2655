#include "phone-session.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
}

#include "app-context.h"
#include "cordlink/qadb-tools.h"
#include "devices/virtaul-audio-device-manager.h"
#include "devices/virtual-camera-queue.h"
#include "hublet/log-sink.h"
#include "hublet/plain-text.h"
#include "output-path.h"
#include "platform/network-interfaces.h"
#include "screenshot-writer.h"
#include "server/media-server.h"
#include "server/usb-server.h"
#include "web/web-phone-service.h"

namespace {

constexpr int kUsbStopSpinMs = 200;

std::string ContextSaveDir() {
    AppContext* context = AppContext::instance();
    return context ? context->SaveDir() : std::string();
}

}  // namespace

PhoneSession::PhoneSession(QObject* parent) : PhoneSession(Options(), parent) {}

PhoneSession::PhoneSession(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), devices_(options_.devices) {
    qRegisterMetaType<Mode>("Mode");
    usbStartTimer_.setObjectName(QStringLiteral("timer_usb_start"));
    usbStartTimer_.setSingleShot(true);
    usbStartTimer_.setTimerType(Qt::PreciseTimer);
    usbStartTimer_.setInterval(kUsbStartDelayMs);
    connect(&usbStartTimer_, &QTimer::timeout, this, &PhoneSession::StartUsbNow);
    holdTimer_.setObjectName(QStringLiteral("timer_disconnect_hold"));
    holdTimer_.setSingleShot(true);
    holdTimer_.setTimerType(Qt::CoarseTimer);
    holdTimer_.setInterval(kDisconnectHoldMs);
    connect(&holdTimer_, &QTimer::timeout, this, &PhoneSession::HoldEnded);
    // A full disk ends a recording by itself, on whichever thread noticed.
    recording_.SetFailureCallback([this](const RecordingFailure& failure) {
        QMetaObject::invokeMethod(this, "RecordingFailedOnMain", Qt::QueuedConnection,
                                  Q_ARG(QString, QString::fromStdString(failure.path)),
                                  Q_ARG(QString, QString::fromStdString(failure.message)));
    });
}

PhoneSession::~PhoneSession() {
    Stop();
    CloseVirtualMic();
    devices_.ReleaseMicSource();
    DeleteAdbTools();
    devices_.EndAdbServer();
}

// ---- the camera ----

PhoneSession::QueueResult PhoneSession::OpenCameraQueue(std::string* why) {
    if (cameraQueue_)
        return QueueResult::kOpened;
    auto queue = std::make_unique<VirtualCameraQueue>(true);
    if (queue->open(VirtualCameraQueue::kSlotCapacity)) {
        cameraQueue_ = std::move(queue);
        feeder_.setQueue(cameraQueue_.get());
        return QueueResult::kOpened;
    }
    const bool busy = queue->lastOpenStatus() == platform::SharedMemory::Status::Busy;
    BG_LOGE("the virtual camera queue cannot be opened: %s", queue->lastError().c_str());
    if (why)
        *why = queue->lastError();
    queue->close();
    return busy ? QueueResult::kBusy : QueueResult::kFailed;
}

void PhoneSession::StartCameraOutput(CameraOutputProcess::Options options) {
    QPointer<PhoneSession> self(this);
    options.onState = [self](bool working, int code) {
        if (self)
            QMetaObject::invokeMethod(self.data(), "ReportCameraOutput", Qt::QueuedConnection,
                                      Q_ARG(bool, working), Q_ARG(int, code));
    };
    cameraOutputOptions_ = options;
    cameraOutputFailed_ = false;
    cameraOutput_ = std::make_unique<CameraOutputProcess>(std::move(options));
    if (!cameraOutput_->Start()) {
        cameraOutputFailed_ = true;
        emit cameraOutputChanged(false, -1);
    }
}

void PhoneSession::ReportCameraOutput(bool working, int code) {
    cameraOutputFailed_ = !working;
    emit cameraOutputChanged(working, code);
}

// ---- the servers ----

bool PhoneSession::StartServing(Mode mode) {
    mode_ = mode;
    return mode == Mode::kWifi ? StartWifiServer() : StartUsbServer();
}

void PhoneSession::SwitchConnectionMode(Mode mode) {
    mode_ = mode;
    if (mode == Mode::kWifi) {
        usbStartTimer_.stop();
        StopUsbServer();
        StartWifiServer();
        return;
    }
    StopWifiServer();
    // Restarted by a second switch to USB, cancelled by a switch back.
    usbStartTimer_.start();
}

void PhoneSession::StartUsbNow() {
    StartUsbServer();
}

bool PhoneSession::StartWifiServer() {
    mediaServer_.reset();
    mediaServer_ = MediaServer::Create(this);
    if (!mediaServer_->Start(options_.mediaPort)) {
        BG_LOGE("无法启动媒体传输服务，由于%d端口被占用", options_.mediaPort);
        // Kept, it would announce a desktop no phone can reach.
        mediaServer_.reset();
        emit serverFailed(Mode::kWifi, options_.mediaPort);
        return false;
    }
    connect(mediaServer_.get(), &MediaServer::sig_DecoderInitFailed, this,
            &PhoneSession::decoderFailed, Qt::QueuedConnection);
    BG_LOGI("serving Wi-Fi phones on port %d", options_.mediaPort);
    if (options_.announce)
        Addresses();
    ServeWebPhone(options_.mediaPort);
    return true;
}

bool PhoneSession::StartUsbServer() {
    usbServer_.reset();
    usbServer_ = USBServer::Create(this);
    if (!usbServer_->Start(options_.usbPort)) {
        BG_LOGE("无法启动USB传输服务，由于%d端口被占用", options_.usbPort);
        usbServer_.reset();
        emit serverFailed(Mode::kUsb, options_.usbPort);
        return false;
    }
    connect(usbServer_.get(), &USBServer::sig_DecoderInitFailed, this, &PhoneSession::decoderFailed,
            Qt::QueuedConnection);
    BG_LOGI("serving USB phones on port %d", options_.usbPort);
    ServeWebPhone(options_.usbPort);
    return true;
}

void PhoneSession::StopWifiServer() {
    webPhone_.reset();
    if (!mediaServer_)
        return;
    // Joining the server's threads takes a while; the main thread keeps
    // working meanwhile. The quit is queued, so a deletion that finishes
    // before the wait begins still ends it.
    MediaServer* server = mediaServer_.release();
    // A QObject may only be deleted on another thread while nothing delivers
    // its events: it leaves this thread's event loop first.
    server->disconnect(this);
    server->moveToThread(nullptr);
    struct Deletion {
        std::atomic<bool> done{false};
        QEventLoop* wait = nullptr;  // main thread only
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

void PhoneSession::StopUsbServer() {
    webPhone_.reset();
    if (!usbServer_)
        return;
    usbServer_.release()->deleteLater();
    QEventLoop wait;
    QTimer::singleShot(kUsbStopSpinMs, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void PhoneSession::ServeWebPhone(int commandPort) {
    webPhone_.reset();
    if (webPort_ == 0)
        return;
    auto page = std::make_unique<WebPhoneService>();
    std::string why;
    if (!page->Start(webPort_, commandPort, &why)) {
        BG_LOGE("phone page: %s", why.c_str());
        emit webPhoneFailed(QString::fromStdString(why));
        return;
    }
    if (!why.empty())
        BG_LOGW("phone page: %s", why.c_str());
    webPhone_ = std::move(page);
    emit webPhoneServed(webPhone_->Port(), QString::fromStdString(why));
}

void PhoneSession::RestartWebPhone() {
    if (mediaServer_)
        ServeWebPhone(options_.mediaPort);
    else if (usbServer_)
        ServeWebPhone(options_.usbPort);
    else
        webPhone_.reset();
}

WebPhoneService* PhoneSession::webPhone() const {
    return webPhone_.get();
}

std::vector<std::string> PhoneSession::Addresses() {
    if (!mediaServer_)
        return {};
    if (connected_ || !options_.announce)
        return MediaServer::AnnounceAddresses(platform::ListNetworkAdapters());
    return mediaServer_->GetLocalAddresses(kAnnouncePort);
}

void PhoneSession::DeviceNameChanged() {
    // A phone already connected asks for the name itself.
    if (!connected_)
        Addresses();
}

void PhoneSession::Stop() {
    // Browsers first: their bridges talk to the servers below.
    webPhone_.reset();
    usbStartTimer_.stop();
    holdTimer_.stop();
    holding_ = false;
    // The servers' threads are joined here; what they queue on the way out
    // finds nothing to act on.
    mediaServer_.reset();
    // The USB server hands the adb tools to deleteLater; they are deleted at
    // destruction if the event loop has gone by then.
    usbServer_.reset();
    connected_ = false;
    recording_.Stop();
    // A screenshot still being written reports to this session.
    QThreadPool::globalInstance()->waitForDone();
    cameraOutput_.reset();
    feeder_.setQueue(nullptr);
    if (cameraQueue_) {
        cameraQueue_->setState(VirtualCameraQueue::kStateStopped);
        cameraQueue_->close();
        cameraQueue_.reset();
    }
    lastPicture_.Release();
}

// ---- connection events ----

void PhoneSession::OnClientConnected(const char* name) {
    // The phone chooses its name: every face gets it as short plain text,
    // escaped before a conversion could hide its invalid bytes.
    const QString peer = QString::fromStdString(bg::PlainText(name ? name : ""));
    BG_LOGI("OnClientConnnectd, device:[%s]", name ? name : "");
    const bool udp = mediaServer_ && mediaServer_->StreamIsUdp();
    const QString transport = usbServer_ ? QStringLiteral("USB")
                              : udp      ? QStringLiteral("Zup2p")
                                         : QStringLiteral("TCP");
    firstPictureSeen_ = false;
    QMetaObject::invokeMethod(this, "ConnectedOnMain", Qt::QueuedConnection, Q_ARG(QString, peer),
                              Q_ARG(QString, transport));
}

void PhoneSession::ConnectedOnMain(QString name, QString transport) {
    connected_ = true;
    // Back within the hold: the picture and the page stay.
    holding_ = false;
    holdTimer_.stop();
    if (mediaServer_)
        mediaServer_->StopAnnounce();
    if (cameraOutputFailed_ && cameraOutput_) {
        // Someone may have set the camera up since it last failed.
        cameraOutput_ = std::make_unique<CameraOutputProcess>(cameraOutputOptions_);
        cameraOutputFailed_ = !cameraOutput_->Start();
    }
    emit phoneConnected(name, transport);
}

void PhoneSession::OnClientDisconnected() {
    BG_LOGI("OnClientDisconnnectd");
    MarkPhoneGone();
    QMetaObject::invokeMethod(this, "GoneOnMain", Qt::QueuedConnection, Q_ARG(bool, false));
}

void PhoneSession::OnClientDisconnectedDelay() {
    BG_LOGI("OnClientDisconnnectd_Delay");
    QMetaObject::invokeMethod(this, "GoneOnMain", Qt::QueuedConnection, Q_ARG(bool, true));
}

void PhoneSession::GoneOnMain(bool held) {
    connected_ = false;
    StopRecording();
    emit phoneGone(held, held ? holdTimer_.interval() : 0);
    if (held) {
        holding_ = true;
        // Each drop gets a full hold of its own.
        holdTimer_.start();
        return;
    }
    ReturnToWaiting();
}

void PhoneSession::HoldEnded() {
    if (!holding_)
        return;
    // The phone did not come back: what an immediate disconnection does at
    // once happens now.
    BG_LOGI("the held picture is released: the phone did not come back");
    MarkPhoneGone();
    emit holdRanOut();
    ReturnToWaiting();
}

void PhoneSession::ReturnToWaiting() {
    holding_ = false;
    holdTimer_.stop();
    StopRecording();
    if (options_.announce)
        Addresses();
    emit waitingForPhone();
}

void PhoneSession::MarkPhoneGone() {
    if (cameraQueue_)
        cameraQueue_->setState(VirtualCameraQueue::kStateStopped);
    lastPicture_.Release();
}

// ---- pictures and audio ----

void PhoneSession::SetPictureSink(std::function<void(const FrameHolder&)> sink) {
    pictureSink_ = std::move(sink);
}

void PhoneSession::OnVideoFrame(const FrameHolder& frame) {
    if (!firstPictureSeen_.exchange(true)) {
        BG_LOGI("first picture %dx%d", frame.width(), frame.height());
        QMetaObject::invokeMethod(this, "firstPicture", Qt::QueuedConnection,
                                  Q_ARG(int, frame.width()), Q_ARG(int, frame.height()));
    }
    feeder_.Feed(frame);
    if (pictureSink_)
        pictureSink_(frame);
    recording_.PushVideo(frame);
    lastPicture_.Store(frame);
}

void PhoneSession::OnAudioFrame(const FrameHolder& frame) {
    // The microphone first: a recording's push may wait for room in its
    // queue, and the microphone must not fall behind it.
    const AVFrame* f = frame.get();
    if (f && f->data[0])
        WriteVirtualMic(f->data[0], f->nb_samples, f->sample_rate, f->ch_layout.nb_channels);
    recording_.PushAudio(frame);
}

// ---- the phone's requests ----

void PhoneSession::OnScreenShotRequest() {
    QMetaObject::invokeMethod(this, "TakeScreenshot", Qt::QueuedConnection);
}

void PhoneSession::OnStartRecordRequest() {
    QMetaObject::invokeMethod(this, "StartRecording", Qt::QueuedConnection);
}

void PhoneSession::OnStopRecordRequest() {
    QMetaObject::invokeMethod(this, "StopRecording", Qt::QueuedConnection);
}

void PhoneSession::OnUnsupportedPicture() {
    QMetaObject::invokeMethod(this, &PhoneSession::unsupportedPicture, Qt::QueuedConnection);
}

void PhoneSession::TakeScreenshot() {
    std::string message;
    QPointer<PhoneSession> self(this);
    const bool started = ScreenshotWriter::Start(
        lastPicture_.Take(), ContextSaveDir(),
        [self](const std::string& path) {
            if (!self)
                return;
            const QString file = QString::fromStdString(path);
            QMetaObject::invokeMethod(
                self.data(),
                [self, file] {
                    if (!self)
                        return;
                    if (file.isEmpty())
                        emit self->screenshotFailed(
                            QString::fromLatin1(output_path::kMsgShotFailed));
                    else
                        emit self->screenshotSaved(file);
                },
                Qt::QueuedConnection);
        },
        &message);
    if (!started)
        emit screenshotFailed(QString::fromStdString(message));
}

void PhoneSession::StartRecording() {
    int width = 0;
    int height = 0;
    // The picture lock is let go before the recording takes its own.
    lastPicture_.Size(&width, &height);
    std::string message;
    switch (recording_.Start(ContextSaveDir(), width, height, &message)) {
        case RecordingController::StartResult::kStarted:
            emit recordingStarted(QString::fromStdString(recording_.RecordPath()));
            break;
        case RecordingController::StartResult::kAlreadyRecording:
            break;
        case RecordingController::StartResult::kFailed:
            BG_LOGE("%s", message.c_str());
            emit recordingStartFailed(QString::fromStdString(message));
            break;
    }
}

void PhoneSession::StopRecording() {
    const std::string path = recording_.Stop();
    emit recordingStopped(QString::fromStdString(path));
}

void PhoneSession::RecordingFailedOnMain(QString path, QString message) {
    BG_LOGE("%s", qUtf8Printable(message));
    // Tears the failed recording down; no finished file to show.
    recording_.Stop();
    emit recordingFailed(path, message);
    emit recordingStopped(QString());
}

// ---- the virtual microphone ----

DeviceSession::MicResult PhoneSession::OpenVirtualMic(const std::function<bool()>& askInstall) {
    std::shared_ptr<VirtaulAudioDeviceManager> link;
    const DeviceSession::MicResult result = devices_.OpenVirtualMic(askInstall, &link);
    std::shared_ptr<VirtaulAudioDeviceManager> previous;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        previous = std::move(mic_);
        mic_ = std::move(link);
    }
    // Released outside the lock: closing a link waits for its stream's
    // thread, and the audio thread must never wait on that.
    previous.reset();
    return result;
}

void PhoneSession::CloseVirtualMic() {
    std::shared_ptr<VirtaulAudioDeviceManager> previous;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        previous = std::move(mic_);
    }
    previous.reset();
}

bool PhoneSession::HasVirtualMic() const {
    std::lock_guard<std::mutex> lock(micMutex_);
    return mic_ != nullptr;
}

void PhoneSession::WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate,
                                   int channels) {
    // A reference of our own keeps the link alive while it is closed on the
    // main thread; the last holder closes it.
    std::shared_ptr<VirtaulAudioDeviceManager> mic;
    {
        std::lock_guard<std::mutex> lock(micMutex_);
        mic = mic_;
    }
    if (!mic || !samples)
        return;
    mic->pushAudio(reinterpret_cast<const int16_t*>(samples), sampleCount, sampleRate, channels);
}

// ---- adb ----

zu::QAdbTools* PhoneSession::AdbTools() {
    devices_.BeforeAdbUse();
    if (!adbTools_) {
        adbTools_ = new zu::QAdbTools();
        // The device session knows which adb server is ours to end.
        adbTools_->setEndAdbServerOnDestroy(false);
    }
    return adbTools_;
}

void PhoneSession::ReleaseAdbTools() {
    if (!adbTools_)
        return;
    // Its destructor removes the port mappings; it runs once the current
    // event (possibly an adb wait) has returned.
    adbTools_->deleteLater();
    releasedAdbTools_.erase(std::remove_if(releasedAdbTools_.begin(), releasedAdbTools_.end(),
                                           [](const QPointer<zu::QAdbTools>& p) { return !p; }),
                            releasedAdbTools_.end());
    releasedAdbTools_.emplace_back(adbTools_);
    adbTools_ = nullptr;
}

int PhoneSession::EndAdbServer() {
    return devices_.EndAdbServer();
}

// At exit the event loop may have ended before it got to the released tools:
// the port mappings would outlive the program.
void PhoneSession::DeleteAdbTools() {
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
