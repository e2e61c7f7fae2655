#include "tests/tools/phone-sim-server/zusp-log-server.h"

#include "dep/QtComponent/media-socket/zusp-server.h"

namespace zusplog {

ZuspLogServer::ZuspLogServer(const LogServerOptions& options, std::ostream& events)
    : options_(options), events_(events) {}

ZuspLogServer::~ZuspLogServer() {
    server_.reset();
}

bool ZuspLogServer::Start(std::string* error) {
    if (!log_.Open(options_.logPath, error))
        return false;
    server_ = std::make_unique<media_socket::ZuSPServer>();
    server_->SetConnectedCallback(
        [this](const char* name) { Event(std::string("connected name=") + name); });
    server_->SetDisconnectedCallback([this] { Event("disconnected"); });
    server_->SetStreamPortCallback(
        [this](unsigned port) { Event("stream port " + std::to_string(port)); });
    server_->SetVideoCallback(
        [this](const char* data, unsigned len, unsigned kind) { OnVideo(data, len, kind); });
    server_->SetAudioCallback([this](const char* data, unsigned len, unsigned rate,
                                     unsigned channels,
                                     unsigned bits) { OnAudio(data, len, rate, channels, bits); });
    server_->SetCommandCallback([this](int type, const Json::Value& data, Json::Value* reply) {
        return OnCommand(type, data, reply);
    });
    if (!server_->Start(static_cast<uint16_t>(options_.port))) {
        *error = "cannot listen on port " + std::to_string(options_.port);
        server_.reset();
        return false;
    }
    Event("serving on command port " + std::to_string(server_->CmdPort()));
    return true;
}

void ZuspLogServer::Event(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ << line << std::endl;
}

void ZuspLogServer::OnVideo(const char* data, unsigned len, unsigned kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(log_.Video(kind, data, len));
}

void ZuspLogServer::OnAudio(const char* data, unsigned len, unsigned rate, unsigned channels,
                            unsigned bits) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(log_.Audio(rate, channels, bits, data, len));
}

bool ZuspLogServer::OnCommand(int type, const Json::Value& /*data*/, Json::Value* /*reply*/) {
    // The reply stays null: an accepted command is answered without "data".
    bool accepted = options_.accepted.count(type) != 0;
    Event("command type=" + std::to_string(type) + (accepted ? " accepted" : " refused"));
    return accepted;
}

// A log that stopped being written would make the comparison fail for the
// wrong reason; say so once where the test looks.
void ZuspLogServer::Record(bool written) {
    if (written || logFailed_)
        return;
    logFailed_ = true;
    events_ << "cannot write the packet log " << options_.logPath << std::endl;
}

}  // namespace zusplog
