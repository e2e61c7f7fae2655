#include "server/media-server.h"

#include <QDebug>
#include <QMetaObject>

#include <algorithm>
#include <cctype>

#include "app-context.h"
#include "dep/QtComponent/media-socket/zusp-server.h"
#include "hublet/log-sink.h"
#include "server/phone-commands.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool IsVirtualAdapter(const std::string& description) {
    const std::string d = Lower(description);
    for (const char* word : {"vmware", "virtual", "hyper-v"}) {
        if (d.find(word) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<MediaServer> MediaServer::Create(MediaCallback* callback) {
    return std::unique_ptr<MediaServer>(new MediaServer(callback));
}

MediaServer::MediaServer(MediaCallback* callback) : QObject(nullptr), callback_(callback) {}

MediaServer::~MediaServer() {
    server_.reset();
    media_.StopDecoder();
}

bool MediaServer::Start(int port) {
    server_.reset();
    auto server = std::make_unique<media_socket::ZuSPServer>();
    server->SetConnectedCallback([this](const char* name) { OnConnected(name); });
    server->SetDisconnectedCallback([this] { OnDisconnected(); });
    server->SetCommandCallback([this](int type, const Json::Value& data, Json::Value* reply) {
        return OnCommand(type, data, reply);
    });
    media_.ConnectStreamServer(server.get(), callback_);
    server_ = std::move(server);
    if (port < 0 || port > 65535)
        return false;
    return server_->Start(static_cast<uint16_t>(port));
}

int MediaServer::Port() const {
    return server_ ? server_->CmdPort() : 0;
}

bool MediaServer::StreamIsUdp() const {
    return server_ && server_->StreamIsUdp();
}

std::vector<std::string> MediaServer::AnnounceAddresses(
    const std::vector<platform::NetworkAdapter>& adapters) {
    std::vector<std::string> ips;
    for (const platform::NetworkAdapter& a : adapters) {
        if (a.ipv4.empty() || a.ipv4 == "0.0.0.0" || a.ipv4 == "127.0.0.1")
            continue;
        if (IsVirtualAdapter(a.description))
            continue;
        ips.push_back(a.ipv4);
    }
    return ips;
}

std::vector<std::string> MediaServer::GetLocalAddresses(int announcePort) {
    std::vector<std::string> ips = AnnounceAddresses(platform::ListNetworkAdapters());
    if (server_) {
        AppContext* app = AppContext::instance();
        std::string name = app ? app->DeviceName() : std::string();
        server_->StartAnnounce(name, ips, static_cast<uint16_t>(announcePort));
    }
    return ips;
}

void MediaServer::StopAnnounce() {
    if (server_)
        server_->StopAnnounce();
}

void MediaServer::ReInitDecoder() {
    emit sig_DecoderInitFailed(tr("解码失败"));
}

void MediaServer::OnDecodeFrame(const FrameHolder& frame) {
    if (callback_ && connected_.load())
        callback_->OnVideoFrame(frame);
}

void MediaServer::OnUnsupportedFormat(int) {
    if (callback_)
        callback_->OnUnsupportedPicture();
}

void MediaServer::OnReInitDecoder() {
    QMetaObject::invokeMethod(this, "ReInitDecoder", Qt::AutoConnection);
}

void MediaServer::OnConnected(const char* name) {
    if (!media_.StartDecoder(this)) {
        emit sig_DecoderInitFailed(tr("解码器初始化失败"));
    }
    connected_ = true;
    if (callback_)
        callback_->OnClientConnected(name ? name : "");
}

void MediaServer::OnDisconnected() {
    qDebug() << "[ios]连接断开";
    if (holdPicture_.load()) {
        connected_ = false;
        holdPicture_ = false;
        if (callback_)
            callback_->OnClientDisconnectedDelay();
    } else {
        connected_ = false;
        if (callback_)
            callback_->OnClientDisconnected();
    }
    media_.StopDecoder();
}

bool MediaServer::OnCommand(int type, const Json::Value& data, Json::Value* reply) {
    PhoneCommandActions actions = OwnerActions(callback_);
    actions.screenshot = [this] {
        if (callback_)
            callback_->OnScreenShotRequest();
        qDebug() << "[ios]截屏命令]";
    };
    actions.hold = [this] {
        holdPicture_ = true;
        qDebug() << "[ios]软件退到后台，暂时保留画面]";
    };
    return HandlePhoneCommand(type, data, reply, actions);
}
