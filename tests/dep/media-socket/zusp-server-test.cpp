#include "dep/QtComponent/media-socket/zusp-server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/child-process.h"
#include "tests/dep/media-socket/server-fixture.h"
#include "zup2p/zup2p.h"

namespace media_socket {
namespace {

using mstest::AudioPacket;
using mstest::Be32;
using mstest::Frame;
using mstest::Packet;
using mstest::TcpPeer;
using mstest::TokenPacket;
using mstest::VideoPacket;
using mstest::WaitUntil;

class ZuSPServerTest : public mstest::ServerTest {
protected:
    // Closes run queued on the loop; a new session is answered after every
    // close queued before it, so the count read then is final. The probe
    // ends with a shutdown, so the port is free again when this returns.
    int SettledDisconnects() {
        TcpPeer probe;
        EXPECT_TRUE(ConnectCmd(&probe));
        Request(&probe, "{\"type\":2}");
        EXPECT_TRUE(probe.WaitClosed());
        return Disconnects();
    }
};

const char kPingReply[] = "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}\n";

TEST_F(ZuSPServerTest, PortInUseOrSecondStartFails) {
    ZuSPServer other;
    EXPECT_FALSE(other.Start(kPort));
    EXPECT_EQ(other.CmdPort(), 0);
    EXPECT_FALSE(server_->Start(kPort + 50));
}

TEST_F(ZuSPServerTest, PingReplyIsFramedFastWriterText) {
    TcpPeer peer;
    ASSERT_TRUE(peer.Connect(kPort));
    ASSERT_TRUE(peer.Send(Frame("{\"type\":-1,\"data\":{}}")));
    std::string head;
    ASSERT_TRUE(peer.ReadExact(4, &head));
    EXPECT_EQ(head, Be32(sizeof(kPingReply) - 1));
    std::string body;
    ASSERT_TRUE(peer.ReadExact(sizeof(kPingReply) - 1, &body));
    EXPECT_EQ(body, kPingReply);
}

TEST_F(ZuSPServerTest, FrameSplitTwoTenTwentyTwoIsAnsweredAfterTheLastPart) {
    std::string body = "{\"type\":-1}";
    body.resize(30, ' ');
    std::string frame = Frame(body);
    TcpPeer peer;
    ASSERT_TRUE(peer.Connect(kPort));
    ASSERT_TRUE(peer.Send(frame.substr(0, 2)));
    EXPECT_TRUE(peer.StaysQuiet(30));
    ASSERT_TRUE(peer.Send(frame.substr(2, 10)));
    EXPECT_TRUE(peer.StaysQuiet(30));
    ASSERT_TRUE(peer.Send(frame.substr(12, 22)));
    std::string reply;
    ASSERT_TRUE(peer.ReadFrame(&reply));
    EXPECT_EQ(reply, kPingReply);
}

TEST_F(ZuSPServerTest, OverLongFrameClosesTheLink) {
    TcpPeer peer;
    ASSERT_TRUE(ConnectCmd(&peer));
    ASSERT_TRUE(peer.Send(Be32(4097)));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_TRUE(host_.contains("packet is too long"));
    // No phone finished push-play on it: nothing to report.
    EXPECT_EQ(SettledDisconnects(), 0);
}

TEST_F(ZuSPServerTest, FrameThatCannotCompleteClosesWhenTheBufferOverflows) {
    TcpPeer peer;
    ASSERT_TRUE(ConnectCmd(&peer));
    ASSERT_TRUE(peer.Send(Be32(4094) + std::string(4092, ' ')));
    EXPECT_TRUE(peer.StaysQuiet(50));
    ASSERT_TRUE(peer.Send(" "));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_TRUE(host_.waitFor("cmd buffer is too long", 1000));
    EXPECT_EQ(SettledDisconnects(), 0);
}

TEST_F(ZuSPServerTest, SecondCommandConnectionIsRefusedAndFirstKeepsWorking) {
    TcpPeer first, second;
    ASSERT_TRUE(ConnectCmd(&first));
    ASSERT_TRUE(second.Connect(kPort));
    EXPECT_TRUE(second.WaitClosed());
    EXPECT_TRUE(host_.waitFor("only supported one cmd connection", 1000));
    EXPECT_EQ(Request(&first, "{\"type\":-1}"), kPingReply);
    EXPECT_EQ(Disconnects(), 0);
}

TEST_F(ZuSPServerTest, TcpPushPlayOpensTheNextPortAndStreamsMedia) {
    TcpPeer cmd, stream;
    ASSERT_TRUE(ConnectCmd(&cmd));
    PushPlayReply r = PushPlay(&cmd, "{\"name\":\"Pixel 7\",\"udpPort\":0}");
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_EQ(r.port, kPort + 1u);
    EXPECT_EQ(r.udp_port, 0u);
    // The connected callback follows the reply.
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(events_.mutex);
        return !events_.connected.empty();
    }));
    {
        std::lock_guard<std::mutex> lock(events_.mutex);
        EXPECT_EQ(events_.stream_ports, (std::vector<unsigned>{kPort + 1u}));
        EXPECT_EQ(events_.connected, (std::vector<std::string>{"Pixel 7"}));
    }
    ASSERT_TRUE(stream.Connect(static_cast<uint16_t>(r.port)));
    std::string pcm = mstest::Pattern(3840, 9);
    ASSERT_TRUE(stream.Send(TokenPacket(r.key) + VideoPacket(2, "sps-pps") +
                            Packet(1, {1}, "E=4 is dropped") + AudioPacket(48000, 2, 16, pcm) +
                            VideoPacket(1, "frame")));
    ASSERT_TRUE(WaitMedia(3));
    auto media = Media();
    ASSERT_EQ(media.size(), 3u);
    EXPECT_EQ(media[0].payload, "sps-pps");
    EXPECT_EQ(media[0].numbers, (std::vector<unsigned>{2}));
    EXPECT_EQ(media[1].kind, 'a');
    EXPECT_EQ(media[1].payload, pcm);
    EXPECT_EQ(media[1].numbers, (std::vector<unsigned>{48000, 2, 16}));
    EXPECT_EQ(media[2].payload, "frame");
    EXPECT_TRUE(cmd.StaysQuiet(30));
    EXPECT_EQ(Disconnects(), 0);
}

TEST_F(ZuSPServerTest, ManySmallPacketsInOneDeliveryAndLargeFramesAllArrive) {
    TcpPeer cmd, stream;
    ASSERT_TRUE(OpenStream(&cmd, &stream));
    std::string bytes;
    for (unsigned i = 0; i < 500; ++i)
        bytes += AudioPacket(48000, 1, 16, mstest::Pattern(960, i));
    for (unsigned i = 0; i < 10; ++i)
        bytes += VideoPacket(0, mstest::Pattern(200 * 1024, i));
    ASSERT_TRUE(stream.Send(bytes));
    ASSERT_TRUE(WaitMedia(510, 5000));
    auto media = Media();
    for (unsigned i = 0; i < 500; ++i)
        ASSERT_EQ(media[i].payload, mstest::Pattern(960, i)) << i;
    for (unsigned i = 0; i < 10; ++i) {
        ASSERT_EQ(media[500 + i].payload, mstest::Pattern(200 * 1024, i)) << i;
    }
    EXPECT_EQ(Disconnects(), 0);
}

// Each of these stream inputs ends the whole link.
struct BadStream {
    const char* name;
    std::string bytes;
    const char* log;  // expected log text, or nullptr for none
};

TEST_F(ZuSPServerTest, StreamProtocolErrorsCloseBothConnections) {
    const BadStream cases[] = {
        {"video E=0", Packet(1, {}, "x"), "video packet, expand_len is 0!"},
        {"audio E=0", Packet(2, {}, "x"), "audio packet, expand_len is 0!"},
        {"type 3", Packet(3, {}, "x"), nullptr},
        {"wrong token", TokenPacket("{00000000-0000-4000-8000-000000000000}"), "token is error"},
        {"N overflows", Be32(1) + Be32(8) + Be32(1) + Be32(0) + Be32(0xFFFFFFF8u),
         "stream packet need too long buffer"},
    };
    int closes = 0;
    for (const BadStream& c : cases) {
        TcpPeer cmd, stream;
        ASSERT_TRUE(OpenStream(&cmd, &stream)) << c.name;
        host_.clear();
        ASSERT_TRUE(stream.Send(VideoPacket(1, "fine") + c.bytes + VideoPacket(1, "late")));
        EXPECT_TRUE(stream.WaitClosed()) << c.name;
        EXPECT_TRUE(cmd.WaitClosed()) << c.name;
        EXPECT_TRUE(WaitDisconnects(++closes)) << c.name;
        if (c.log) {
            EXPECT_TRUE(host_.contains(c.log)) << c.name;
        } else {
            EXPECT_TRUE(host_.lines().empty()) << c.name;
        }
        auto media = Media();
        ASSERT_FALSE(media.empty());
        EXPECT_EQ(media.back().payload, "fine") << c.name;
    }
}

TEST_F(ZuSPServerTest, TokenOfAnEarlierPushPlayIsRefused) {
    TcpPeer cmd, stream;
    ASSERT_TRUE(ConnectCmd(&cmd));
    PushPlayReply first = PushPlay(&cmd, "{}");
    PushPlayReply second = PushPlay(&cmd, "{}");
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_NE(first.key, second.key);
    EXPECT_EQ(second.port, first.port);  // the old acceptor went first
    ASSERT_TRUE(stream.Connect(static_cast<uint16_t>(second.port)));
    ASSERT_TRUE(stream.Send(TokenPacket(first.key)));
    EXPECT_TRUE(stream.WaitClosed());
    EXPECT_TRUE(host_.contains("token is error"));
}

TEST_F(ZuSPServerTest, SecondStreamConnectionIsRefused) {
    TcpPeer cmd, stream, extra;
    std::string key;
    ASSERT_TRUE(OpenStream(&cmd, &stream, &key));
    // The token is judged on the loop thread: a picture that arrives shows
    // the stream holds the slot before the second one knocks.
    ASSERT_TRUE(stream.Send(VideoPacket(1, "first")));
    ASSERT_TRUE(WaitMedia(1));
    ASSERT_TRUE(extra.Connect(kPort + 1));
    EXPECT_TRUE(extra.WaitClosed());
    EXPECT_TRUE(host_.waitFor("only supported one stream connection", 5000));
    ASSERT_TRUE(stream.Send(VideoPacket(2, "still here")));
    EXPECT_TRUE(WaitMedia(2));
}

// The stream port is open to the whole network: strangers that connect
// before, beside and after the phone must neither take its slot nor end its
// link.
TEST_F(ZuSPServerTest, StrangersOnTheStreamPortNeverTakeThePhonesSlot) {
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    PushPlayReply r = PushPlay(&cmd, "{\"name\":\"Pixel 7\"}");
    ASSERT_TRUE(r.ok) << r.text;
    const uint16_t port = static_cast<uint16_t>(r.port);
    TcpPeer silent, video_first, wrong_key, garbage;
    ASSERT_TRUE(silent.Connect(port));
    ASSERT_TRUE(video_first.Connect(port));
    ASSERT_TRUE(wrong_key.Connect(port));
    ASSERT_TRUE(garbage.Connect(port));
    ASSERT_TRUE(video_first.Send(VideoPacket(1, "forged")));
    ASSERT_TRUE(wrong_key.Send(TokenPacket("{00000000-0000-4000-8000-000000000000}")));
    ASSERT_TRUE(garbage.Send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(video_first.WaitClosed());
    EXPECT_TRUE(wrong_key.WaitClosed());
    EXPECT_TRUE(garbage.WaitClosed());

    // The phone comes after them all and still gets the stream.
    TcpPeer phone;
    ASSERT_TRUE(phone.Connect(port));
    ASSERT_TRUE(phone.Send(TokenPacket(r.key) + VideoPacket(1, "real")));
    ASSERT_TRUE(WaitMedia(1));
    // A silent stranger is sent away after a while, and nothing it did
    // ended the phone's link or reached the owner.
    EXPECT_TRUE(silent.WaitClosed(10000));
    ASSERT_TRUE(phone.Send(VideoPacket(1, "still")));
    ASSERT_TRUE(WaitMedia(2));
    auto media = Media();
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[0].payload, "real");
    EXPECT_EQ(media[1].payload, "still");
    EXPECT_EQ(Disconnects(), 0);
    // Once the phone holds the slot, a late stranger is refused outright.
    TcpPeer late;
    ASSERT_TRUE(late.Connect(port));
    EXPECT_TRUE(late.WaitClosed());
    EXPECT_EQ(Disconnects(), 0);
    // The session's refusals are summed up in one line when it ends.
    cmd.Close();
    EXPECT_TRUE(WaitDisconnects(1));
    EXPECT_TRUE(host_.waitFor("stream connections without the session token closed", 2000));
}

TEST_F(ZuSPServerTest, ACrowdOfSilentStrangersCannotCrowdOutThePhone) {
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    PushPlayReply r = PushPlay(&cmd, "{}");
    ASSERT_TRUE(r.ok) << r.text;
    const uint16_t port = static_cast<uint16_t>(r.port);
    std::vector<TcpPeer> crowd(StreamGate::kMaxWaiting + 8);
    for (TcpPeer& stranger : crowd)
        ASSERT_TRUE(stranger.Connect(port));
    TcpPeer phone;
    ASSERT_TRUE(phone.Connect(port));
    ASSERT_TRUE(phone.Send(TokenPacket(r.key) + VideoPacket(1, "real")));
    ASSERT_TRUE(WaitMedia(1));
    // The oldest strangers made room; the rest go once their time is up.
    for (TcpPeer& stranger : crowd)
        EXPECT_TRUE(stranger.WaitClosed(10000));
    EXPECT_EQ(Disconnects(), 0);
}

TEST_F(ZuSPServerTest, PhoneClosingEitherConnectionEndsTheLinkAndAllowsReconnect) {
    for (bool close_stream : {true, false}) {
        TcpPeer cmd, stream;
        std::string key;
        ASSERT_TRUE(OpenStream(&cmd, &stream, &key));
        int before = Disconnects();
        host_.clear();
        if (close_stream) {
            stream.Close();
            EXPECT_TRUE(cmd.WaitClosed());
            EXPECT_TRUE(host_.contains("stream connection disconnected"));
        } else {
            cmd.Close();
            EXPECT_TRUE(stream.WaitClosed());
            EXPECT_TRUE(host_.contains("cmd connection disconnected"));
        }
        EXPECT_TRUE(WaitDisconnects(before + 1));
        // The stream port is closed with the link.
        TcpPeer late;
        EXPECT_FALSE(late.Connect(kPort + 1, 0));
    }
    // A fresh phone session works, with a new key.
    TcpPeer cmd, stream;
    ASSERT_TRUE(OpenStream(&cmd, &stream));
    ASSERT_TRUE(stream.Send(VideoPacket(1, "again")));
    EXPECT_TRUE(WaitMedia(1));
}

TEST_F(ZuSPServerTest, ShutdownRepliesThenCloses) {
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    EXPECT_EQ(Request(&cmd, "{\"type\":2}"), "{\"data\":null,\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(cmd.WaitClosed());
    EXPECT_EQ(SettledDisconnects(), 0);
}

TEST_F(ZuSPServerTest, DeviceNameComesFromTheHostValue) {
    CD->valueStore->set("zucam_device_name", bg::Value("Studio PC"));
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    EXPECT_EQ(Request(&cmd, "{\"type\":1001,\"data\":{}}"),
              "{\"name\":\"Studio PC\",\"type\":1001,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPServerTest, CustomCommandsGoToTheOwner) {
    on_command_ = [](int type, const Json::Value& data, Json::Value* reply) {
        if (type != 10)
            return false;
        (*reply)["saved"] = data["path"];
        return true;
    };
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    EXPECT_EQ(Request(&cmd, "{\"type\":10,\"data\":{\"path\":\"/tmp/a.png\"}}"),
              "{\"data\":{\"saved\":\"/tmp/a.png\"},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_EQ(Request(&cmd, "{\"type\":11,\"data\":{}}"), "{\"type\":1,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(cmd.WaitClosed());
    std::lock_guard<std::mutex> lock(events_.mutex);
    EXPECT_EQ(events_.commands, (std::vector<int>{10, 11}));
}

TEST_F(ZuSPServerTest, RefusedRequestsCloseWithoutReply) {
    for (const char* body : {"{\"type\":-5}", "not json at all", "{\"type\":0,\"data\":\"x\"}"}) {
        TcpPeer cmd;
        ASSERT_TRUE(ConnectCmd(&cmd));
        ASSERT_TRUE(cmd.Send(Frame(body)));
        std::string reply;
        EXPECT_FALSE(cmd.ReadFrame(&reply)) << body << " got " << reply;
        EXPECT_TRUE(cmd.WaitClosed()) << body;
    }
    EXPECT_EQ(SettledDisconnects(), 0);
}

TEST_F(ZuSPServerTest, PhoneDroppingBothConnectionsAtOnceIsReportedOnce) {
    for (int round = 1; round <= 2; ++round) {
        TcpPeer cmd, stream;
        ASSERT_TRUE(OpenStream(&cmd, &stream));
        // Both ends go in one breath: the loop sees two empty deliveries and
        // queues two closes in the same iteration.
        cmd.Close();
        stream.Close();
        EXPECT_TRUE(WaitDisconnects(round));
        EXPECT_EQ(SettledDisconnects(), round);
    }
}

TEST_F(ZuSPServerTest, UdpPushPlayRepliesTheZup2pPortAndStreamsThroughIt) {
    TcpPeer cmd;
    ASSERT_TRUE(ConnectCmd(&cmd));
    PushPlayReply r = PushPlay(&cmd, "{\"name\":\"udp phone\",\"udpPort\":1}");
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_EQ(r.port, 0u);
    ASSERT_NE(r.udp_port, 0u);
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(events_.mutex);
        return !events_.connected.empty();
    }));
    {
        std::lock_guard<std::mutex> lock(events_.mutex);
        EXPECT_TRUE(events_.stream_ports.empty());
        EXPECT_EQ(events_.connected, (std::vector<std::string>{"udp phone"}));
    }

    // A real Zup2p peer sends the stream cut into messages of 5, 7 and the rest.
    struct Quiet : zu::DataListener {
        void onConnected(unsigned, const char*) override {}
        void onDisconnected(unsigned, const char*) override {}
        void onError(int, const char*) override {}
        void onText(unsigned, const char*) override {}
        void onBinary(unsigned, int, const char*, int) override {}
    } quiet;
    zu::Zup2p phone;
    phone.run(&quiet, 0, 1);
    unsigned peer = phone.makeConnection("127.0.0.1", static_cast<int>(r.udp_port));
    ASSERT_NE(peer, 0u);
    std::string token = TokenPacket("not checked");
    std::string audio = AudioPacket(48000, 2, 16, mstest::Pattern(3836));
    ASSERT_EQ(audio.size(), 5u + 7u + 3852u);
    ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData1, token.data(), int(token.size()), true));
    ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData1, audio.data(), 5, true));
    ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData1, audio.data() + 5, 7, true));
    EXPECT_FALSE(WaitUntil([&] { return MediaCount() > 0; }, 300));
    ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData1, audio.data() + 12, 3852, true));
    ASSERT_TRUE(WaitMedia(1));
    auto media = Media();
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].payload, mstest::Pattern(3836));
    EXPECT_EQ(media[0].numbers, (std::vector<unsigned>{48000, 2, 16}));

    // A protocol error on the UDP stream ends the whole link.
    std::string bad = Be32(1) + Be32(2) + "xx" + Be32(0);  // video, E = 2
    ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData1, bad.data(), int(bad.size()), true));
    EXPECT_TRUE(cmd.WaitClosed());
    EXPECT_TRUE(WaitDisconnects(1));
    EXPECT_TRUE(host_.contains("video packet, expand_len is 0!"));
    phone.stop();

    // And the next session starts from scratch.
    TcpPeer again;
    ASSERT_TRUE(ConnectCmd(&again));
}

TEST_F(ZuSPServerTest, VanishedPhoneIsNoticedWithinAboutTwoSeconds) {
    TcpPeer cmd, stream;
    ASSERT_TRUE(OpenStream(&cmd, &stream));
    // Taking loopback down in this private namespace makes the phone vanish
    // without a goodbye: only the keep-alive probes can tell.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(platform::RunProcess({"ip", "link", "set", "lo", "down"}, 5000, nullptr), 0);
    bool noticed = WaitDisconnects(1, 6000);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(platform::RunProcess({"ip", "link", "set", "lo", "up"}, 5000, nullptr), 0);
    EXPECT_TRUE(noticed);
    EXPECT_LT(took, std::chrono::milliseconds(3500));
    std::printf("vanished phone noticed after %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

TEST_F(ZuSPServerTest, DestroyingTheServerClosesLiveConnections) {
    TcpPeer cmd, stream;
    ASSERT_TRUE(OpenStream(&cmd, &stream));
    server_.reset();
    EXPECT_TRUE(cmd.WaitClosed());
    EXPECT_TRUE(stream.WaitClosed());
    TcpPeer late;
    EXPECT_FALSE(late.Connect(kPort, 0));
}

}  // namespace
}  // namespace media_socket
