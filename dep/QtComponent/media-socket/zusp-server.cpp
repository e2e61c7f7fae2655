#include "dep/QtComponent/media-socket/zusp-server.h"

#include <cstdio>

#include "dep/QtComponent/media-socket/acceptor.h"
#include "dep/QtComponent/media-socket/byte-order.h"
#include "dep/QtComponent/media-socket/connection.h"
#include "dep/QtComponent/media-socket/event-loop.h"
#include "dep/QtComponent/media-socket/guid-string.h"
#include "dep/QtComponent/media-socket/socket.h"
#include "dep/QtComponent/media-socket/stream-packet-assembler.h"
#include "dep/QtComponent/media-socket/udp-data-listener.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "zup2p/zup2p.h"

namespace media_socket {
namespace {

constexpr int kAnnounceIntervalMs = 1000;
// Zup2p peers the stream transport accepts.
constexpr unsigned kUdpPeerCount = 100;

}  // namespace

ZuSPServer::ZuSPServer() : loop_(new EventLoop), announce_timer_(kAnnounceIntervalMs, true) {
    announce_timer_.SetCallback([this] { AnnounceTick(); });
    stream_gate_.reset(new StreamGate(loop_.get()));
    stream_gate_->SetTokenSource([this] { return token_; });
    stream_gate_->SetAdmitCallback(
        [this](std::unique_ptr<Connection> connection, const std::string& received, bool closed) {
            AdmitStream(std::move(connection), received, closed);
        });
    loop_thread_ = std::thread([this] { loop_->Loop(); });
}

ZuSPServer::~ZuSPServer() {
    loop_->Quit();
    if (loop_thread_.joinable())
        loop_thread_.join();
    // Zup2p's dispatch thread may still queue a close on the loop: stop it
    // while the loop exists.
    StopUdp();
    stream_gate_.reset();
    stream_connection_.reset();
    cmd_connection_.reset();
    stream_acceptor_.reset();
    cmd_acceptor_.reset();
    loop_.reset();
}

bool ZuSPServer::Start(uint16_t port) {
    if (cmd_acceptor_)
        return false;
    // Everything the loop thread may touch is in place before the listening
    // channel is handed to it.
    stream_.reset(new StreamPacketAssembler);
    stream_->SetTokenCallback(
        [this](const char* data, unsigned len) { return CheckToken(data, len); });
    stream_->SetVideoCallback(LiveVideoCallback());
    stream_->SetAudioCallback(LiveAudioCallback());
    cmd_port_.store(port);

    std::unique_ptr<Acceptor> acceptor(new Acceptor(loop_.get()));
    acceptor->SetNewConnectionCallback([this](Socket&& s) { OnNewCmdConnection(std::move(s)); });
    if (!acceptor->Listen("0.0.0.0", port)) {
        cmd_port_.store(0);
        return false;
    }
    if (port == 0)
        cmd_port_.store(acceptor->Port());
    cmd_acceptor_ = std::move(acceptor);
    return true;
}

void ZuSPServer::StartAnnounce(const std::string& name, const std::vector<std::string>& ips,
                               uint16_t port) {
    loop_->QueueInLoop([this, name, ips, port] {
        loop_->RemoveTimer(&announce_timer_);
        announcer_.Configure(name, ips, port);
        loop_->AddTimer(&announce_timer_);
    });
}

void ZuSPServer::StopAnnounce() {
    loop_->QueueInLoop([this] {
        announcer_.Clear();
        loop_->RemoveTimer(&announce_timer_);
    });
}

void ZuSPServer::OnNewCmdConnection(Socket&& socket) {
    if (!socket.IsValid())
        return;
    if (cmd_connection_) {
        // A live session keeps the phone; a stale one (see SessionLiveness)
        // would lock the phone out for as long as its holder likes.
        if (close_pending_.load() || !liveness_.IsStale(EventLoop::NowMs())) {
            socket.Close(platform::kShutBoth);
            BG_LOGI("only supported one cmd connection\n");
            return;
        }
        BG_LOGI("stale cmd connection closed, a new one takes over\n");
        CloseConnection();
    }
    std::fprintf(stderr, "OnNewCmdConnection\n");
    liveness_.Begin(EventLoop::NowMs());
    socket.SetKeepAlive(true, kKeepAliveIdleMs, kKeepAliveIntervalMs);
    // The kernel holds no more than the command buffer can take.
    socket.SetRecvBufferSize(CmdFrameBuffer::kCapacity);
    cmd_connection_.reset(new Connection(loop_.get(), std::move(socket)));
    cmd_connection_->SetMessageCallback([this](char* data, int len) { OnCmdMessage(data, len); });
    cmd_connection_->Start();
}

void ZuSPServer::OnNewStreamConnection(Socket&& socket) {
    if (!socket.IsValid())
        return;
    if (stream_connection_) {
        socket.Close(platform::kShutBoth);
        // Said once per session; a crowd knocking is summed up at its end.
        if (late_streams_++ == 0)
            BG_LOGW("only supported one stream connection\n");
        return;
    }
    socket.SetKeepAlive(true, kKeepAliveIdleMs, kKeepAliveIntervalMs);
    // Anyone on the network can connect here: the slot is the phone's only
    // once the connection shows the token.
    stream_gate_->Add(std::move(socket));
}

void ZuSPServer::AdmitStream(std::unique_ptr<Connection> connection, const std::string& received,
                             bool closed) {
    if (close_pending_.load())
        return;
    if (stream_connection_) {
        BG_LOGW("only supported one stream connection\n");
        return;
    }
    std::fprintf(stderr, "OnNewStreamConnection\n");
    stream_connection_ = std::move(connection);
    stream_connection_->SetMessageCallback(
        [this](char* data, int len) { OnStreamMessage(data, len); });
    // One receive may take everything the kernel holds.
    stream_connection_->SetBufferSize(StreamPacketAssembler::kBufferSize);
    // The token packet goes through the stream's own check once more.
    FeedStream(received.data(), received.size());
    if (closed)
        OnStreamMessage(nullptr, 0);
}

void ZuSPServer::OnCmdMessage(char* data, int len) {
    if (!cmd_connection_)
        return;
    if (len > 0 && close_pending_.load())
        return;
    const uint64_t bodies = commands_.BodiesTaken();
    commands_.OnMessage(data, len);
    if (commands_.BodiesTaken() != bodies)
        liveness_.Activity(EventLoop::NowMs());
}

StreamPacketAssembler::VideoCallback ZuSPServer::LiveVideoCallback() {
    return [this](const char* data, unsigned len, unsigned frame_kind) {
        liveness_.Activity(EventLoop::NowMs());
        if (video_cb_)
            video_cb_(data, len, frame_kind);
    };
}

StreamPacketAssembler::AudioCallback ZuSPServer::LiveAudioCallback() {
    return [this](const char* data, unsigned len, unsigned rate, unsigned channels, unsigned bits) {
        liveness_.Activity(EventLoop::NowMs());
        if (audio_cb_)
            audio_cb_(data, len, rate, channels, bits);
    };
}

void ZuSPServer::OnStreamMessage(char* data, int len) {
    if (!stream_connection_)
        return;
    if (len <= 0) {
        BG_LOGI("stream connection disconnected\n");
        std::fprintf(stderr, "stream disconnected\n");
        RequestClose();
        return;
    }
    FeedStream(data, static_cast<size_t>(len));
}

void ZuSPServer::FeedStream(const char* data, size_t len) {
    if (close_pending_.load() || len == 0)
        return;
    if (stream_->Feed(data, len) != StreamPacketAssembler::Result::kOk)
        RequestClose();
}

bool ZuSPServer::CheckToken(const char* data, unsigned len) {
    if (token_.size() == len && token_.compare(0, len, data, len) == 0)
        return true;
    BG_LOGE("token is error");
    return false;
}

bool ZuSPServer::OpenStreamAcceptor(uint16_t* port) {
    const int first = cmd_port_.load() + 1;
    for (int p = first; p < first - 1 + kStreamPortRange && p <= 0xffff; ++p) {
        // The previous acceptor goes first so that its port can be taken again.
        stream_acceptor_.reset(new Acceptor(loop_.get()));
        stream_acceptor_->SetNewConnectionCallback(
            [this](Socket&& s) { OnNewStreamConnection(std::move(s)); });
        if (stream_acceptor_->Listen("0.0.0.0", static_cast<uint16_t>(p))) {
            *port = static_cast<uint16_t>(p);
            return true;
        }
        stream_acceptor_.reset();
    }
    return stream_acceptor_ != nullptr;
}

void ZuSPServer::StartUdp() {
    StopUdp();
    udp_listener_.reset(new UDPDataListener(this));
    udp_listener_->SetVideoCallback(LiveVideoCallback());
    udp_listener_->SetAudioCallback(LiveAudioCallback());
    udp_listener_->SetCloseFunction([this] { RequestClose(); });
    udp_transport_.reset(new zu::Zup2p);
    // The stream is the phone's alone: any other peer is turned away at once.
    udp_transport_->setSinglePeer(true);
    udp_transport_->run(udp_listener_.get(), 0, kUdpPeerCount);
}

void ZuSPServer::StopUdp() {
    if (udp_transport_) {
        udp_transport_->stop();
        udp_transport_.reset();
    }
    udp_listener_.reset();
}

void ZuSPServer::RequestClose() {
    close_pending_.store(true);
    // Always queued, even on the loop thread: a connection must never be
    // destroyed inside its own callback.
    loop_->QueueInLoop([this] { CloseConnection(); });
}

void ZuSPServer::CloseConnection() {
    StopUdp();
    stream_acceptor_.reset();
    stream_gate_->Clear();
    cmd_connection_.reset();
    stream_connection_.reset();
    token_.clear();
    ReportRefusedStreams();
    commands_.Reset();
    if (stream_)
        stream_->Reset();
    close_pending_.store(false);
    // Both connections dropping at once queue two closes; reporting the
    // second would undo what the owner decided on the first (keeping the
    // picture for a phone that comes back).
    const bool report = phone_connected_;
    phone_connected_ = false;
    if (report && disconnected_cb_) {
        std::fprintf(stderr, "[ZuSPServer::CloseConnection()]");
        disconnected_cb_();
    }
}

void ZuSPServer::ReportRefusedStreams() {
    const uint64_t refused = stream_gate_->Refused() - refused_reported_;
    refused_reported_ = stream_gate_->Refused();
    if (refused > 0) {
        BG_LOGW("%llu stream connections without the session token closed\n",
                static_cast<unsigned long long>(refused));
    }
    if (late_streams_ > 1) {
        BG_LOGW("%llu more stream connections refused beside the phone's\n",
                static_cast<unsigned long long>(late_streams_ - 1));
    }
    late_streams_ = 0;
}

void ZuSPServer::AnnounceTick() {
    announcer_.Tick(cmd_port_.load());
}

void ZuSPServer::SendCmd(const std::string& body) {
    if (!cmd_connection_)
        return;
    std::string frame(4, '\0');
    WriteBe32(&frame[0], static_cast<uint32_t>(body.size()));
    frame += body;
    cmd_connection_->Send(frame.data(), static_cast<int>(frame.size()));
}

unsigned ZuSPServer::OpenTcpStream() {
    stream_is_udp_.store(false);
    uint16_t port = 0;
    if (!OpenStreamAcceptor(&port))
        return 0;
    return port;
}

unsigned ZuSPServer::StartUdpStream() {
    stream_is_udp_.store(true);
    StartUdp();
    return static_cast<unsigned>(udp_transport_->bindPort());
}

void ZuSPServer::NotifyStreamPort(unsigned port) {
    if (stream_port_cb_)
        stream_port_cb_(port);
}

std::string ZuSPServer::RenewToken() {
    token_ = NewGuidString();
    return token_;
}

void ZuSPServer::NotifyConnected(const std::string& peer_name) {
    liveness_.PushPlayed();
    phone_connected_ = true;
    if (connected_cb_)
        connected_cb_(peer_name.c_str());
}

bool ZuSPServer::HandleCustomCommand(int type, const Json::Value& data, Json::Value* reply) {
    if (!command_cb_)
        return false;
    return command_cb_(type, data, reply);
}

std::string ZuSPServer::DeviceName() {
    bg::Interface* host = CD;
    if (!host || !host->valueStore)
        return std::string();
    return host->valueStore->get("zucam_device_name", bg::Value("")).toStdString("");
}

}  // namespace media_socket
