#include "server/usb-server.h"

#include <QDebug>
#include <QMetaObject>
#include <QPointer>
#include <QTimerEvent>

#include <cstdio>
#include <list>

#include "app-context.h"
#include "cordlink/qadb-tools.h"
#include "dep/QtComponent/media-socket/zusp-server.h"
#include "hublet/log-sink.h"
#include "server/phone-commands.h"

namespace {

// Marks a scan as running for as long as it lives; the flag is left alone
// when the server went away during an adb wait.
class ScanGuard {
public:
    ScanGuard(QObject* owner, bool* flag) : owner_(owner), flag_(flag) { *flag_ = true; }
    ~ScanGuard() {
        if (owner_)
            *flag_ = false;
    }
    ScanGuard(const ScanGuard&) = delete;
    ScanGuard& operator=(const ScanGuard&) = delete;
    bool ownerAlive() const { return !owner_.isNull(); }

private:
    QPointer<QObject> owner_;
    bool* flag_;
};

}  // namespace

USBServer::USBServer(MediaCallback* callback) : QObject(nullptr), callback_(callback) {}

std::unique_ptr<USBServer> USBServer::Create(MediaCallback* callback) {
    return std::make_unique<USBServer>(callback);
}

USBServer::~USBServer() {
    StopScanUSBDevice();
    if (AppContext* app = AppContext::instance())
        app->ReleaseAdbTools();
    server_.reset();
    media_.StopDecoder();
    serial_.clear();
}

bool USBServer::Start(int port) {
    // The old server goes first: a restart on the same port must find it free.
    server_.reset();
    if (port < 0 || port > 65535) {
        StopScanUSBDevice();
        return false;
    }
    commandPort_ = static_cast<uint16_t>(port);
    auto server = std::make_unique<media_socket::ZuSPServer>();
    server->SetConnectedCallback([this](const char* name) { OnConnected(name); });
    server->SetDisconnectedCallback([this] { OnDisconnected(); });
    server->SetCommandCallback([this](int type, const Json::Value& data, Json::Value* reply) {
        return OnCommand(type, data, reply);
    });
    media_.ConnectStreamServer(server.get(), callback_);
    server->SetStreamPortCallback([this](unsigned streamPort) { OnStreamPort(streamPort); });
    server_ = std::move(server);
    if (!server_->Start(static_cast<uint16_t>(port))) {
        // Nothing listens: mapping a phone to this port would only mislead it.
        StopScanUSBDevice();
        return false;
    }
    commandPort_ = server_->CmdPort();
    StartScanUSBDevice();
    return true;
}

int USBServer::Port() const {
    return server_ ? server_->CmdPort() : 0;
}

void USBServer::StartScanUSBDevice() {
    if (scanTimer_ == 0)
        scanTimer_ = startTimer(kScanIntervalMs, Qt::CoarseTimer);
}

void USBServer::StopScanUSBDevice() {
    if (scanTimer_ != 0) {
        killTimer(scanTimer_);
        scanTimer_ = 0;
    }
}

void USBServer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != scanTimer_) {
        QObject::timerEvent(event);
        return;
    }
    ScanUSBDevice();
}

void USBServer::ScanUSBDevice() {
    if (scanning_)
        return;
    zu::QAdbTools* tools = Tools();
    if (!tools)
        return;
    ScanGuard guard(this, &scanning_);
    const std::list<zu::DeviceInfo> devices = tools->findUsbDevice();
    // The wait ran the event loop: the owner may have destroyed us meanwhile.
    if (!guard.ownerAlive())
        return;
    if (devices.empty()) {
        std::fputs("no adb device found.\n", stderr);
        serial_.clear();
        return;
    }
    const QString first = devices.front().serial;
    if (first == serial_)
        return;
    serial_ = first;
    ReverseCommandPort();
}

void USBServer::ReverseCommandPort() {
    QPointer<USBServer> self(this);
    // Copies: the call waits in an event loop that may change or destroy us.
    const QString serial = serial_;
    const int localPort = commandPort_;
    zu::QAdbTools* tools = Tools();
    const bool ok = tools && tools->adbReverse(serial, kPhoneCommandPort, localPort);
    if (!self)
        return;
    if (ok) {
        qDebug("[完成command端口映射:phone(%d)->local(%d)]", kPhoneCommandPort, localPort);
    } else {
        std::fputs("adb reverse error: cmd port\n", stderr);
    }
}

void USBServer::ReverseStreamPort() {
    QPointer<USBServer> self(this);
    const QString serial = serial_;
    const int port = streamPort_.load();
    // No stream port yet: "tcp:0" would make adb pick a device port of its own.
    zu::QAdbTools* tools = port != 0 ? Tools() : nullptr;
    const bool ok = tools && tools->adbReverse(serial, port, port);
    if (!self)
        return;
    if (ok) {
        qDebug("[完成stream端口映射:phone(%d)->local(%d)]", port, port);
    } else {
        std::fputs("adb reverse error: stream port\n", stderr);
    }
}

void USBServer::ReInitDecoder() {
    emit sig_DecoderInitFailed(tr("解码失败"));
}

void USBServer::ForgetSerial() {
    serial_.clear();
}

zu::QAdbTools* USBServer::Tools() {
    AppContext* app = AppContext::instance();
    zu::QAdbTools* tools = app ? app->AdbTools() : nullptr;
    if (!tools && !noToolsLogged_) {
        BG_LOGE("USB mode without adb tools: this host cannot list or map USB devices");
    }
    noToolsLogged_ = tools == nullptr;
    return tools;
}

void USBServer::OnDecodeFrame(const FrameHolder& frame) {
    // Ungated on purpose: pictures still in the decoder when the phone leaves
    // are shown until the decoder is destroyed.
    if (callback_)
        callback_->OnVideoFrame(frame);
}

void USBServer::OnUnsupportedFormat(int) {
    if (callback_)
        callback_->OnUnsupportedPicture();
}

void USBServer::OnReInitDecoder() {
    QMetaObject::invokeMethod(this, "ReInitDecoder", Qt::AutoConnection);
}

void USBServer::OnConnected(const char* name) {
    if (!media_.StartDecoder(this)) {
        emit sig_DecoderInitFailed(tr("解码器初始化失败"));
    }
    if (callback_)
        callback_->OnClientConnected(name ? name : "");
    QMetaObject::invokeMethod(this, "StopScanUSBDevice", Qt::AutoConnection);
}

void USBServer::OnDisconnected() {
    if (callback_) {
        qDebug("[USBServer::OnClientDisconnected()]");
        callback_->OnClientDisconnected();
    }
    media_.StopDecoder();
    // Queued in this order: the first scan after a disconnection maps again.
    QMetaObject::invokeMethod(this, "ForgetSerial", Qt::AutoConnection);
    QMetaObject::invokeMethod(this, "StartScanUSBDevice", Qt::AutoConnection);
}

void USBServer::OnStreamPort(unsigned port) {
    // The push-play reply leaves as soon as this returns; the mapping is made
    // on the GUI thread while the reply travels.
    streamPort_ = static_cast<uint16_t>(port);
    QMetaObject::invokeMethod(this, "ReverseStreamPort", Qt::AutoConnection);
}

bool USBServer::OnCommand(int type, const Json::Value& data, Json::Value* reply) {
    // No hold over USB: the phone's hold command (6) gets a failure reply.
    return HandlePhoneCommand(type, data, reply, OwnerActions(callback_));
}
