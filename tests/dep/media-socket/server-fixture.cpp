#include "tests/dep/media-socket/server-fixture.h"

#include <regex>

namespace mstest {

void ServerTest::SetUp() {
    server_.reset(new media_socket::ZuSPServer);
    ServerEvents* ev = &events_;
    server_->SetConnectedCallback([ev](const char* name) {
        std::lock_guard<std::mutex> lock(ev->mutex);
        ev->connected.push_back(name);
    });
    server_->SetDisconnectedCallback([ev] {
        std::lock_guard<std::mutex> lock(ev->mutex);
        ++ev->disconnects;
    });
    server_->SetStreamPortCallback([ev](unsigned port) {
        std::lock_guard<std::mutex> lock(ev->mutex);
        ev->stream_ports.push_back(port);
    });
    server_->SetCommandCallback([this, ev](int type, const Json::Value& data, Json::Value* reply) {
        {
            std::lock_guard<std::mutex> lock(ev->mutex);
            ev->commands.push_back(type);
        }
        return on_command_ ? on_command_(type, data, reply) : false;
    });
    server_->SetVideoCallback([ev](const char* d, unsigned n, unsigned kind) {
        std::lock_guard<std::mutex> lock(ev->mutex);
        ev->media.push_back({'v', std::string(d, n), {kind}});
    });
    server_->SetAudioCallback(
        [ev](const char* d, unsigned n, unsigned rate, unsigned ch, unsigned bits) {
            std::lock_guard<std::mutex> lock(ev->mutex);
            ev->media.push_back({'a', std::string(d, n), {rate, ch, bits}});
        });
    ASSERT_TRUE(server_->Start(kPort));
    EXPECT_EQ(server_->CmdPort(), kPort);
}

bool ServerTest::ConnectCmd(TcpPeer* peer) {
    if (!peer->Connect(kPort))
        return false;
    return Request(peer, "{\"type\":-1}") == "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}\n";
}

std::string ServerTest::Request(TcpPeer* peer, const std::string& body) {
    if (!peer->Send(Frame(body)))
        return "<send failed>";
    std::string reply;
    if (!peer->ReadFrame(&reply))
        return "<no reply>";
    return reply;
}

ServerTest::PushPlayReply ServerTest::PushPlay(TcpPeer* peer, const std::string& data_json) {
    PushPlayReply r;
    r.text = Request(peer, "{\"type\":0,\"data\":" + data_json + "}");
    static const std::regex form(
        "\\{\"data\":\\{\"bite_rate\":4,\"key\":\"(\\{[0-9A-Fa-f-]{36}\\})\",\"port\":(\\d+)"
        "(,\"udpPort\":(\\d+))?\\},\"type\":0,\"version\":\"1\\.0\"\\}\n");
    std::smatch m;
    if (!std::regex_match(r.text, m, form))
        return r;
    r.ok = true;
    r.key = m[1];
    r.port = static_cast<unsigned>(std::stoul(m[2]));
    if (m[4].matched)
        r.udp_port = static_cast<unsigned>(std::stoul(m[4]));
    return r;
}

bool ServerTest::OpenStream(TcpPeer* cmd, TcpPeer* stream, std::string* key) {
    if (!ConnectCmd(cmd))
        return false;
    PushPlayReply r = PushPlay(cmd, "{\"name\":\"phone\"}");
    if (!r.ok || r.port == 0)
        return false;
    if (key)
        *key = r.key;
    if (!stream->Connect(static_cast<uint16_t>(r.port)))
        return false;
    return stream->Send(TokenPacket(r.key));
}

int ServerTest::Disconnects() {
    std::lock_guard<std::mutex> lock(events_.mutex);
    return events_.disconnects;
}

size_t ServerTest::MediaCount() {
    std::lock_guard<std::mutex> lock(events_.mutex);
    return events_.media.size();
}

std::vector<ServerEvents::Media> ServerTest::Media() {
    std::lock_guard<std::mutex> lock(events_.mutex);
    return events_.media;
}

bool ServerTest::WaitDisconnects(int n, int timeoutMs) {
    return WaitUntil([&] { return Disconnects() >= n; }, timeoutMs);
}

bool ServerTest::WaitMedia(size_t n, int timeoutMs) {
    return WaitUntil([&] { return MediaCount() >= n; }, timeoutMs);
}

}  // namespace mstest
