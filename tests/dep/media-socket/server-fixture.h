#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/zusp-server.h"
#include "tests/dep/media-socket/test-peer.h"
#include "tests/support/test-host.h"

namespace mstest {

// What a ZuSPServer told its owner, recorded from the loop (or Zup2p) thread.
struct ServerEvents {
    struct Media {
        char kind;  // 'v' or 'a'
        std::string payload;
        std::vector<unsigned> numbers;
    };
    std::mutex mutex;
    int disconnects = 0;
    std::vector<std::string> connected;
    std::vector<unsigned> stream_ports;
    std::vector<Media> media;
    std::vector<int> commands;
};

// A ZuSPServer on the command port 10080 (tests run in a private network
// namespace), with every callback recording into `events_`.
class ServerTest : public ::testing::Test {
protected:
    static constexpr uint16_t kPort = 10080;

    void SetUp() override;
    void TearDown() override { server_.reset(); }

    // Connects a command peer and checks the link with a ping.
    bool ConnectCmd(TcpPeer* peer);
    // Sends one request and reads one reply body.
    std::string Request(TcpPeer* peer, const std::string& body);
    struct PushPlayReply {
        bool ok = false;
        std::string text;
        unsigned port = 0;
        unsigned udp_port = 0;
        std::string key;
    };
    PushPlayReply PushPlay(TcpPeer* peer, const std::string& data_json);
    // A command link with a TCP stream connection, token sent.
    bool OpenStream(TcpPeer* cmd, TcpPeer* stream, std::string* key = nullptr);

    int Disconnects();
    size_t MediaCount();
    std::vector<ServerEvents::Media> Media();
    bool WaitDisconnects(int n, int timeoutMs = 2000);
    bool WaitMedia(size_t n, int timeoutMs = 2000);

    zutest::TestHost host_;
    ServerEvents events_;
    // Set by a test before SetUp's Start to answer custom commands.
    std::function<bool(int, const Json::Value&, Json::Value*)> on_command_;
    std::unique_ptr<media_socket::ZuSPServer> server_;
};

}  // namespace mstest
