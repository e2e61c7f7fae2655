#include "tools/zucamd/headless-host.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "hublet/log-sink.h"
#include "output-path.h"
#include "platform/network-interfaces.h"
#include "server/media-server.h"
#include "web/qr-code.h"
#include "web/web-phone-service.h"

HeadlessHost::HeadlessHost(const ZucamdOptions& options) : options_(options) {
    AppContext::setInstance(this);
    PhoneSession::Options sessionOptions;
    sessionOptions.mediaPort = options_.port;
    sessionOptions.usbPort = options_.port;
    sessionOptions.announce = options_.announce;
    session_ = std::make_unique<PhoneSession>(sessionOptions);
    ConnectTerminal();
}

HeadlessHost::~HeadlessHost() {
    Shutdown();
    AppContext::setInstance(nullptr);
}

void HeadlessHost::ConnectTerminal() {
    PhoneSession* s = session_.get();
    // Queued: the page's links follow the lines that say where the app reaches us.
    connect(s, &PhoneSession::webPhoneServed, this, &HeadlessHost::ReportPhonePage,
            Qt::QueuedConnection);
    connect(s, &PhoneSession::webPhoneFailed, this, [this](QString why) {
        terminal_.Problem("the phone page cannot be served: " + why.toStdString() +
                          "; pick another with --web-port N (the app still works)");
    });
    connect(s, &PhoneSession::phoneConnected, this, [this](QString name, QString transport) {
        terminal_.PhoneConnected(name.toStdString(), transport == QLatin1String("USB")
                                                         ? "TCP through the USB cable"
                                                         : qUtf8Printable(transport));
    });
    connect(s, &PhoneSession::firstPicture, this, [this](int width, int height) {
        terminal_.FirstPicture(width, height, cameraOutputWorks_);
    });
    connect(s, &PhoneSession::phoneGone, this,
            [this](bool held, int holdMs) { terminal_.PhoneGone(held, holdMs / 1000); });
    connect(s, &PhoneSession::holdRanOut, this, [this] { terminal_.HoldRanOut(); });
    connect(s, &PhoneSession::recordingStarted, this,
            [this](QString path) { terminal_.RecordingStarted(path.toStdString()); });
    connect(s, &PhoneSession::recordingStopped, this, [this](QString path) {
        if (!path.isEmpty())
            terminal_.RecordingStopped(path.toStdString());
    });
    connect(s, &PhoneSession::recordingFailed, this,
            [this](QString, QString message) { terminal_.Problem(message.toStdString()); });
    connect(s, &PhoneSession::recordingStartFailed, this, [this](QString message) {
        terminal_.Problem("recording failed: " + TerminalReport::Explain(message.toStdString()));
    });
    connect(s, &PhoneSession::screenshotSaved, this, [this](QString path) {
        BG_LOGI("screenshot saved: %s", qUtf8Printable(path));
        terminal_.Screenshot(path.toStdString());
    });
    connect(s, &PhoneSession::screenshotFailed, this, [this](QString message) {
        BG_LOGE("%s", qUtf8Printable(message));
        terminal_.Problem("screenshot failed: " + TerminalReport::Explain(message.toStdString()));
    });
    connect(s, &PhoneSession::serverFailed, this, [this](PhoneSession::Mode, int port) {
        terminal_.Problem(TerminalReport::PortInUse(port));
    });
    connect(s, &PhoneSession::unsupportedPicture, this, [this] { terminal_.UnsupportedPicture(); });
    connect(s, &PhoneSession::decoderFailed, this,
            [](QString text) { BG_LOGE("%s", qUtf8Printable(text)); });
    connect(s, &PhoneSession::cameraOutputChanged, this, [this](bool working, int code) {
        cameraOutputWorks_ = working;
        terminal_.CameraOutput(working, code);
    });
}

int HeadlessHost::Start() {
    settings_.LoadSettings();
    saveDir_ = options_.saveDir.empty() ? settings_.values.saveDir : options_.saveDir;
    if (!CheckSaveDir() && !options_.saveDir.empty())
        return 2;
    if (settings_.values.useHardwareDecoder)
        HardwareCodecDetector::instance()->detect();
    if (!options_.noCamera && !OpenCameraQueue())
        return 1;
    if (!options_.noCamera && options_.cameraOutput)
        session_->StartCameraOutput();
    if (options_.virtualMic)
        OpenVirtualMic();
    if (options_.newWebLink) {
        WebPhoneService::RenewSecret();
        terminal_.Event("zucamd: the phone page has a new link; the old one no longer works");
    }
    session_->SetWebPort(options_.webPort);
    if (!session_->StartServing(options_.usb ? PhoneSession::Mode::kUsb
                                             : PhoneSession::Mode::kWifi))
        return 1;
    ReportListening();
    return 0;
}

void HeadlessHost::ReportPhonePage(int, QString problem) {
    const WebPhoneService* page = session_->webPhone();
    if (!page)
        return;
    if (!problem.isEmpty())
        terminal_.Problem("the phone page: " + problem.toStdString());
    std::vector<std::string> addresses;
    if (!options_.usb)
        addresses = MediaServer::AnnounceAddresses(platform::ListNetworkAdapters());
    const std::vector<std::string> links = page->Links(addresses);
    QrCode qr;
    terminal_.PhonePage(links, qr.Encode(links.front()) ? qr.TerminalText() : std::string());
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
    std::string why;
    switch (session_->OpenCameraQueue(&why)) {
        case PhoneSession::QueueResult::kOpened:
            return true;
        case PhoneSession::QueueResult::kBusy:
            terminal_.Problem(TerminalReport::CameraInUse());
            return false;
        case PhoneSession::QueueResult::kFailed:
            break;
    }
    terminal_.Problem("the camera queue cannot be made (" + why +
                      "); run with --no-camera to serve a phone without the camera");
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
    // --vmic is the request: a missing source is loaded without asking.
    switch (session_->OpenVirtualMic([] { return true; })) {
        case DeviceSession::MicResult::kOpened:
            BG_LOGI("virtual microphone open");
            return;
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
}

void HeadlessHost::Shutdown() {
    // Servers first, then any recording, the camera, the microphone, the adb
    // tools and the adb server this run started.
    session_.reset();
}

bool HeadlessHost::IsRecording() const {
    return session_ && session_->IsRecording();
}

std::string HeadlessHost::DeviceName() const {
    return settings_.values.deviceName;
}

std::string HeadlessHost::SaveDir() const {
    return saveDir_;
}

zu::QAdbTools* HeadlessHost::AdbTools() {
    return session_ ? session_->AdbTools() : nullptr;
}

void HeadlessHost::ReleaseAdbTools() {
    if (session_)
        session_->ReleaseAdbTools();
}

void HeadlessHost::UpdateVolumn(int) {
    // No window to show the level meter.
}

bool HeadlessHost::PlayAudio() const {
    return settings_.values.playAudio;
}
