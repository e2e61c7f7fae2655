#include "zup2p/zup2p.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "tests/zup2p/raw-enet-peer.h"
#include "tests/zup2p/recording-listener.h"

namespace {

using zutest::PeerEvent;
using zutest::RecordingListener;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 3000;

// One Zup2p host with its listener, started on a system-chosen port.
struct Node {
    RecordingListener listener;
    zu::Zup2p host;
    explicit Node(unsigned peers = 100, bool single_peer = false) {
        host.setSinglePeer(single_peer);
        host.run(&listener, 0, peers);
    }
    ~Node() { host.stop(); }
    int port() { return host.bindPort(); }
};

// Connects `from` to `to`; the ids both sides gave the new peer.
struct Link {
    unsigned at_client = 0;
    unsigned at_server = 0;
};

Link Connect(Node& from, Node& to, int nth_at_server = 1) {
    Link link;
    link.at_client = from.host.makeConnection("127.0.0.1", to.port());
    PeerEvent event;
    if (to.listener.waitFor("connected", kWaitMs, &event, nth_at_server)) {
        link.at_server = event.peer_id;
    }
    return link;
}

std::string Bytes(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + 7) & 0xff);
    return data;
}

// ---- life cycle -----------------------------------------------------------

TEST(Zup2pHostTest, BindPortIsZeroWithoutHostAndSystemChosenWhileRunning) {
    RecordingListener listener;
    zu::Zup2p host;
    EXPECT_EQ(host.bindPort(), 0);
    testing::internal::CaptureStdout();
    host.run(&listener, 0, 100);
    const int port = host.bindPort();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GT(port, 0);
    EXPECT_NE(out.find("Listening on port " + std::to_string(port) + "\n"), std::string::npos);
    host.stop();
    EXPECT_EQ(host.bindPort(), 0);
    host.stop();  // a second stop is harmless

    // The instance can run again after stop.
    host.run(&listener, 0, 100);
    EXPECT_GT(host.bindPort(), 0);
    EXPECT_EQ(listener.count("error"), 0);
}

TEST(Zup2pHostTest, RunWithoutListenerStartsNothing) {
    zu::Zup2p host;
    testing::internal::CaptureStdout();
    host.run(nullptr, 0, 100);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: listener is nullptr..."),
              std::string::npos);
    EXPECT_EQ(host.bindPort(), 0);
}

TEST(Zup2pHostTest, SecondRunReportsErrorOneAndKeepsTheHost) {
    Node server;
    const int port = server.port();
    RecordingListener other;
    testing::internal::CaptureStdout();
    server.host.run(&other, 0, 5);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("already running ..."),
              std::string::npos);
    PeerEvent error;
    ASSERT_TRUE(other.waitFor("error", 0, &error));
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.data, "already running ...");
    EXPECT_EQ(error.thread, std::this_thread::get_id());
    EXPECT_EQ(server.port(), port);

    // Still serving, and still reporting to its first listener.
    Node client;
    EXPECT_EQ(Connect(client, server).at_server, 100u);
    EXPECT_EQ(other.count("connected"), 0);
}

TEST(Zup2pHostTest, PortTakenLeavesNoHostAndRunMayRetry) {
    Node first;
    RecordingListener listener;
    zu::Zup2p second;
    testing::internal::CaptureStdout();
    second.run(&listener, first.port(), 10);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(second.bindPort(), 0);
    EXPECT_EQ(second.makeConnection("127.0.0.1", first.port()), 0u);  // no host: error 2
    second.stop();

    // No thread was left behind: a fresh run is accepted, not "already running".
    second.run(&listener, 0, 10);
    EXPECT_GT(second.bindPort(), 0);
    for (const PeerEvent& e : listener.events())
        EXPECT_NE(e.code, 1);
}

TEST(Zup2pHostTest, InvalidPortLeavesNoHost) {
    RecordingListener listener;
    zu::Zup2p host;
    host.run(&listener, 70000, 10);
    EXPECT_EQ(host.bindPort(), 0);
    host.run(&listener, -1, 10);
    EXPECT_EQ(host.bindPort(), 0);
}

TEST(Zup2pHostTest, ManyInstancesComeAndGo) {
    // ENet's process-wide set-up must survive overlapping instances.
    auto outer = std::make_unique<Node>();
    for (int i = 0; i < 20; ++i) {
        Node node(4);
        ASSERT_GT(node.port(), 0);
        if (i == 10)
            outer.reset();
    }
    Node a;
    Node b;
    EXPECT_NE(Connect(a, b).at_client, 0u);
}

TEST(Zup2pHostTest, DestroyWithQueuedTrafficFreesEverything) {
    // Leak checkers catch packets left in either queue.
    auto server = std::make_unique<Node>();
    auto client = std::make_unique<Node>();
    const Link link = Connect(*client, *server);
    ASSERT_NE(link.at_client, 0u);
    const std::string blob = Bytes(64 * 1024);
    for (int i = 0; i < 50; ++i) {
        client->host.sendBinary(link.at_client, zu::kChannelData1, blob.data(),
                                static_cast<int>(blob.size()), true);
    }
    client.reset();
    server.reset();
}

// ---- connections ----------------------------------------------------------

TEST(Zup2pHostTest, PeersAreNumberedFromOneHundred) {
    Node server;
    Node client_a;
    Node client_b;
    const Link a = Connect(client_a, server, 1);
    const Link b = Connect(client_b, server, 2);
    EXPECT_EQ(a.at_server, 100u);
    EXPECT_EQ(b.at_server, 101u);
    EXPECT_EQ(a.at_client, 100u);  // each host numbers its own peers
    EXPECT_EQ(b.at_client, 100u);

    PeerEvent event;
    ASSERT_TRUE(server.listener.waitFor("connected", 0, &event, 1));
    EXPECT_EQ(event.data, "127.0.0.1," + std::to_string(client_a.port()));
    EXPECT_NE(event.thread, std::this_thread::get_id());
    ASSERT_TRUE(client_a.listener.waitFor("connected", kWaitMs, &event));
    EXPECT_EQ(event.data, "127.0.0.1," + std::to_string(server.port()));
}

TEST(Zup2pHostTest, IdsAreNotReusedAfterDisconnect) {
    Node server;
    {
        Node client;
        ASSERT_EQ(Connect(client, server).at_server, 100u);
        client.host.close(100);
        ASSERT_TRUE(server.listener.waitFor("disconnected", kWaitMs));
    }
    Node again;
    EXPECT_EQ(Connect(again, server, 2).at_server, 101u);
}

TEST(Zup2pHostTest, CloseDisconnectsBothSides) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_server, 0u);
    client.host.close(link.at_client);

    PeerEvent at_server;
    PeerEvent at_client;
    ASSERT_TRUE(server.listener.waitFor("disconnected", kWaitMs, &at_server));
    ASSERT_TRUE(client.listener.waitFor("disconnected", kWaitMs, &at_client));
    EXPECT_EQ(at_server.peer_id, link.at_server);
    EXPECT_EQ(at_server.data, "127.0.0.1," + std::to_string(client.port()));
    EXPECT_EQ(at_client.peer_id, link.at_client);

    // The id is gone at once for senders.
    EXPECT_FALSE(server.host.sendText(link.at_server, "late"));
    PeerEvent error;
    ASSERT_TRUE(server.listener.waitFor("error", 0, &error));
    EXPECT_EQ(error.code, 4);
    EXPECT_EQ(error.data, "send_text(): no connection. peerID=" + std::to_string(link.at_server));
}

TEST(Zup2pHostTest, CloseOfUnknownPeerOnlyPrints) {
    Node host;
    testing::internal::CaptureStdout();
    host.host.close(77);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("close failed, no connection (peerID=77)"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(host.listener.events().empty());
}

TEST(Zup2pHostTest, MakeConnectionBeforeRunReportsHostInvalid) {
    RecordingListener listener;
    zu::Zup2p host;
    host.run(nullptr, 0, 1);  // refused: no listener, no host
    EXPECT_EQ(host.makeConnection("127.0.0.1", 9), 0u);
    EXPECT_EQ(listener.count("error"), 0);  // no listener known yet: nothing reported

    Node taken;
    host.run(&listener, taken.port(), 1);  // port taken: listener known, still no host
    EXPECT_EQ(host.makeConnection("127.0.0.1", taken.port()), 0u);
    PeerEvent error;
    ASSERT_TRUE(listener.waitFor("error", 0, &error));
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.data, "host invalid");
}

TEST(Zup2pHostTest, MakeConnectionToSilentPortFailsAfterFiveSeconds) {
    Node client;
    zutest::SilentPort silent;
    ASSERT_GT(silent.port(), 0);
    testing::internal::CaptureStdout();
    const auto start = Clock::now();
    EXPECT_EQ(client.host.makeConnection("127.0.0.1", silent.port()), 0u);
    const auto took = Clock::now() - start;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GE(took, std::chrono::milliseconds(4900));
    EXPECT_LT(took, std::chrono::milliseconds(7000));
    EXPECT_NE(out.find("[#] connection failed.\n"), std::string::npos);
    PeerEvent error;
    ASSERT_TRUE(client.listener.waitFor("error", 0, &error));
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(error.data, "connection failed: 127.0.0.1," + std::to_string(silent.port()));
    EXPECT_EQ(error.thread, std::this_thread::get_id());
}

TEST(Zup2pHostTest, ConnectionCompletingAfterTheCallerGaveUpIsDropped) {
    Node client;
    zutest::RawEnetPeer late(13, true);  // answers only once it is serviced
    ASSERT_GT(late.port(), 0);
    EXPECT_EQ(client.host.makeConnection("127.0.0.1", late.port()), 0u);
    // Now the late host reads the buffered request and accepts it; the client
    // must neither report nor keep that connection.
    late.pump(1500);
    EXPECT_EQ(late.disconnects(), late.connects());
    EXPECT_EQ(client.listener.count("connected"), 0);
    // The reported failure stands: the next peer still gets the first id.
    Node server;
    EXPECT_EQ(client.host.makeConnection("127.0.0.1", server.port()), 100u);
}

TEST(Zup2pHostTest, MakeConnectionRejectsUnusableTargetsAtOnce) {
    Node client;
    const auto start = Clock::now();
    EXPECT_EQ(client.host.makeConnection("127.0.0.1", 0), 0u);
    EXPECT_EQ(client.host.makeConnection("127.0.0.1", 70000), 0u);
    EXPECT_EQ(client.host.makeConnection(nullptr, 5000), 0u);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    PeerEvent error;
    ASSERT_TRUE(client.listener.waitFor("error", 0, &error, 3));
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(error.data, "connection failed: (null),5000");
}

TEST(Zup2pHostTest, MakeConnectionPrintsSuccess) {
    Node server;
    Node client;
    testing::internal::CaptureStdout();
    const unsigned id = client.host.makeConnection("127.0.0.1", server.port());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(id, 100u);
    EXPECT_NE(out.find("[#] connection Success.\n"), std::string::npos);
}

// ---- messages ---------------------------------------------------------------

TEST(Zup2pHostTest, TextArrivesThroughOnText) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    EXPECT_TRUE(client.host.sendText(link.at_client, "{\"cmd\":\"hello\"}"));
    EXPECT_TRUE(client.host.sendText(link.at_client, ""));
    PeerEvent text;
    ASSERT_TRUE(server.listener.waitFor("text", kWaitMs, &text, 1));
    EXPECT_EQ(text.peer_id, link.at_server);
    EXPECT_EQ(text.data, "{\"cmd\":\"hello\"}");
    ASSERT_TRUE(server.listener.waitFor("text", kWaitMs, &text, 2));
    EXPECT_EQ(text.data, "");
}

TEST(Zup2pHostTest, BinaryArrivesOnItsChannelWithTheSameBytes) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_server, 0u);
    const std::string small = Bytes(300);
    ASSERT_TRUE(server.host.sendBinary(link.at_server, zu::kChannelData3, small.data(),
                                       static_cast<int>(small.size()), true));
    PeerEvent got;
    ASSERT_TRUE(client.listener.waitFor("binary", kWaitMs, &got));
    EXPECT_EQ(got.peer_id, link.at_client);
    EXPECT_EQ(got.channel, 3);
    EXPECT_EQ(got.data, small);
    EXPECT_NE(got.thread, std::this_thread::get_id());
}

TEST(Zup2pHostTest, LargeReliableMessageArrivesWhole) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    const std::string big = Bytes(1024 * 1024);
    ASSERT_TRUE(client.host.sendBinary(link.at_client, zu::kChannelData12, big.data(),
                                       static_cast<int>(big.size()), true));
    PeerEvent got;
    ASSERT_TRUE(server.listener.waitFor("binary", 10000, &got));
    EXPECT_EQ(got.channel, 12);
    EXPECT_EQ(got.data.size(), big.size());
    EXPECT_TRUE(got.data == big);
}

TEST(Zup2pHostTest, ManyMessagesArriveInOrderOnAReliableChannel) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    constexpr int kCount = 500;
    for (int i = 0; i < kCount; ++i) {
        const std::string body = std::to_string(i);
        ASSERT_TRUE(client.host.sendBinary(link.at_client, zu::kChannelData1, body.data(),
                                           static_cast<int>(body.size()), true));
    }
    ASSERT_TRUE(server.listener.waitFor("binary", 10000, nullptr, kCount));
    int expected = 0;
    for (const PeerEvent& e : server.listener.events()) {
        if (e.kind != "binary")
            continue;
        EXPECT_EQ(e.data, std::to_string(expected));
        ++expected;
    }
}

TEST(Zup2pHostTest, EmptyAndUnreliableDataMessagesArrive) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    // A zero-length message is how the stream listener learns the phone hung up.
    ASSERT_TRUE(client.host.sendBinary(link.at_client, zu::kChannelData1, nullptr, 0, true));
    ASSERT_TRUE(client.host.sendBinary(link.at_client, zu::kChannelData2, "xy", 2, false));
    PeerEvent first;
    PeerEvent second;
    ASSERT_TRUE(server.listener.waitFor("binary", kWaitMs, &first, 1));
    EXPECT_EQ(first.data, "");
    ASSERT_TRUE(server.listener.waitFor("binary", kWaitMs, &second, 2));
    EXPECT_EQ(second.data, "xy");
}

TEST(Zup2pHostTest, SendersCanAnswerFromInsideCallbacks) {
    Node server;
    Node client;
    server.listener.setHook([&](const PeerEvent& e) {
        if (e.kind == "text")
            server.host.sendText(e.peer_id, ("echo " + e.data).c_str());
    });
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    client.host.sendText(link.at_client, "ping");
    PeerEvent echo;
    ASSERT_TRUE(client.listener.waitFor("text", kWaitMs, &echo));
    EXPECT_EQ(echo.data, "echo ping");
}

// ---- send errors ------------------------------------------------------------

TEST(Zup2pHostTest, SendToUnknownPeerFailsWithErrorFour) {
    Node host;
    EXPECT_FALSE(host.host.sendBinary(5, zu::kChannelData1, "abc", 3, true));
    PeerEvent error;
    ASSERT_TRUE(host.listener.waitFor("error", 0, &error));
    EXPECT_EQ(error.code, 4);
    EXPECT_EQ(error.data, "send_binary(): no connection. peerID=5");
    EXPECT_EQ(error.thread, std::this_thread::get_id());

    EXPECT_FALSE(host.host.sendText(5, "abc"));
    ASSERT_TRUE(host.listener.waitFor("error", 0, &error, 2));
    EXPECT_EQ(error.data, "send_text(): no connection. peerID=5");
}

TEST(Zup2pHostTest, SendBeforeRunFailsQuietly) {
    zu::Zup2p host;
    EXPECT_FALSE(host.sendBinary(100, zu::kChannelData1, "abc", 3, true));
    EXPECT_FALSE(host.sendText(100, "abc"));
}

TEST(Zup2pHostTest, SendBinaryRefusesTextChannelAndBadBuffers) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    EXPECT_FALSE(client.host.sendBinary(link.at_client, zu::kChannelText, "abc", 3, true));
    EXPECT_FALSE(
        client.host.sendBinary(link.at_client, static_cast<zu::ChannelType>(13), "a", 1, true));
    EXPECT_FALSE(client.host.sendBinary(link.at_client, zu::kChannelData1, "abc", -1, true));
    EXPECT_FALSE(client.host.sendBinary(link.at_client, zu::kChannelData1, nullptr, 10, true));
    EXPECT_FALSE(client.host.sendText(link.at_client, nullptr));

    std::vector<int> codes;
    for (const PeerEvent& e : client.listener.events()) {
        if (e.kind == "error")
            codes.push_back(e.code);
    }
    EXPECT_EQ(codes, (std::vector<int>{6, 6, 8, 8, 8}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(server.listener.count("text"), 0);
    EXPECT_EQ(server.listener.count("binary"), 0);
}

TEST(Zup2pHostTest, SendOnChannelThePeerLacksReportsErrorSeven) {
    Node server;
    zutest::RawEnetPeer phone(2);  // asks for channels 0 and 1 only
    ASSERT_TRUE(phone.connect(server.port(), kWaitMs));
    PeerEvent connected;
    ASSERT_TRUE(server.listener.waitFor("connected", kWaitMs, &connected));
    EXPECT_TRUE(server.host.sendBinary(connected.peer_id, zu::kChannelData3, "abcd", 4, true));
    PeerEvent error;
    ASSERT_TRUE(server.listener.waitFor("error", kWaitMs, &error));
    EXPECT_EQ(error.code, 7);
    EXPECT_EQ(error.data,
              "send error, peerID=" + std::to_string(connected.peer_id) + ", pkt.size=4");
    EXPECT_NE(error.thread, std::this_thread::get_id());

    // Channel 1 exists and still works.
    EXPECT_TRUE(server.host.sendBinary(connected.peer_id, zu::kChannelData1, "ok", 2, true));
    phone.pump(300);
    EXPECT_EQ(phone.received(), "ok");
    EXPECT_EQ(phone.receivedChannel(), 1);
}

// ---- hostile peers ----------------------------------------------------------

TEST(Zup2pHostTest, TextWithoutTerminatingZeroIsDeliveredSafely) {
    Node server;
    zutest::RawEnetPeer phone(13);
    ASSERT_TRUE(phone.connect(server.port(), kWaitMs));
    ASSERT_TRUE(phone.send(0, "abc"));  // no terminating zero on the wire
    ASSERT_TRUE(phone.send(0, std::string("x\0y", 3)));
    ASSERT_TRUE(phone.send(0, ""));
    phone.pump(100);
    PeerEvent text;
    ASSERT_TRUE(server.listener.waitFor("text", kWaitMs, &text, 1));
    EXPECT_EQ(text.data, "abc");
    ASSERT_TRUE(server.listener.waitFor("text", kWaitMs, &text, 2));
    EXPECT_EQ(text.data, "x");
    ASSERT_TRUE(server.listener.waitFor("text", kWaitMs, &text, 3));
    EXPECT_EQ(text.data, "");
}

TEST(Zup2pHostTest, PeerThatVanishesIsReportedDisconnected) {
    Node server;
    auto phone = std::make_unique<zutest::RawEnetPeer>(13);
    ASSERT_TRUE(phone->connect(server.port(), kWaitMs));
    PeerEvent connected;
    ASSERT_TRUE(server.listener.waitFor("connected", kWaitMs, &connected));
    phone.reset();  // disconnects at once, without waiting for an answer
    PeerEvent gone;
    ASSERT_TRUE(server.listener.waitFor("disconnected", kWaitMs, &gone));
    EXPECT_EQ(gone.peer_id, connected.peer_id);
    EXPECT_EQ(gone.data, connected.data);
}

// A host serving one peer: every later peer is dropped at once, its data never
// reaches the listener, and its slot is free again at once, so a host of two
// slots takes one newcomer after another while its first peer keeps talking.
TEST(Zup2pHostTest, SinglePeerHostTurnsEveryOtherPeerAwayAndFreesItsSlot) {
    Node server(2, true);
    Node phone;
    const Link link = Connect(phone, server);
    ASSERT_EQ(link.at_server, 100u);
    for (int i = 0; i < 5; ++i) {
        zutest::RawEnetPeer intruder(13);
        ASSERT_TRUE(intruder.connect(server.port(), kWaitMs)) << "intruder " << i;
        intruder.send(1, "intruder bytes");
        for (int t = 0; t < kWaitMs / 50 && intruder.disconnects() == 0; ++t)
            intruder.pump(50);
        EXPECT_EQ(intruder.disconnects(), 1) << "intruder " << i;
    }
    ASSERT_TRUE(phone.host.sendBinary(link.at_client, zu::kChannelData1, "phone", 5, true));
    PeerEvent binary;
    ASSERT_TRUE(server.listener.waitFor("binary", kWaitMs, &binary));
    EXPECT_EQ(binary.data, "phone");
    EXPECT_EQ(server.listener.count("connected"), 1);
    EXPECT_EQ(server.listener.count("binary"), 1);

    // Once the first peer is gone, the next one is served.
    phone.host.close(link.at_client);
    ASSERT_TRUE(server.listener.waitFor("disconnected", kWaitMs));
    Node next;
    EXPECT_EQ(Connect(next, server, 2).at_server, 101u);
}

// ---- threads ------------------------------------------------------------------

TEST(Zup2pHostTest, StopFromACallbackIsRefusedInsteadOfDeadlocking) {
    Node server;
    Node client;
    std::string printed;
    server.listener.setHook([&](const PeerEvent& e) {
        if (e.kind == "connected")
            server.host.stop();
    });
    testing::internal::CaptureStdout();
    ASSERT_NE(Connect(client, server).at_server, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("stop() called from a listener callback"), std::string::npos);
    EXPECT_GT(server.port(), 0);  // still running
    server.listener.setHook(nullptr);
}

TEST(Zup2pHostTest, ConcurrentSendersAllGetThrough) {
    Node server;
    Node client;
    const Link link = Connect(client, server);
    ASSERT_NE(link.at_client, 0u);
    constexpr int kThreads = 4;
    constexpr int kEach = 100;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            const std::string body = Bytes(2000 + t);
            for (int i = 0; i < kEach; ++i) {
                client.host.sendBinary(link.at_client, zu::kChannelData1, body.data(),
                                       static_cast<int>(body.size()), true);
            }
        });
    }
    for (std::thread& s : senders)
        s.join();
    ASSERT_TRUE(server.listener.waitFor("binary", 10000, nullptr, kThreads * kEach));
    EXPECT_EQ(client.listener.count("error"), 0);
}

}  // namespace
