// The phone simulator against the real stream-protocol server: every packet
// the phone sends must reach the server's callbacks intact and in order, over
// TCP and over Zup2p, and the replies the phone prints must be the server's
// exact texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tools/phone-sim/packet-log.h"

namespace {

// The key format: {8 upper}-{4 upper}-{4 lower}-{4 upper}-{12 upper} hex
// digits, in braces.
bool IsGuidText(const std::string& key) {
    const std::string upper = "0123456789ABCDEF";
    const std::string lower = "0123456789abcdef";
    if (key.size() != 38 || key.front() != '{' || key.back() != '}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const std::string& digits = (i > 14 && i < 19) ? lower : upper;
        if (dash ? key[i] != '-' : digits.find(key[i]) == std::string::npos)
            return false;
    }
    return true;
}

struct PhoneRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The line of `text` that starts with `prefix`, without the prefix; "" when none.
std::string LineAfter(const std::string& text, const std::string& prefix) {
    for (const std::string& line : Lines(text)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
    }
    return std::string();
}

bool HasLine(const std::string& text, const std::string& wanted) {
    for (const std::string& line : Lines(text)) {
        if (line == wanted)
            return true;
    }
    return false;
}

// The text between `marker` and the next `end` in `text`; "" when absent.
std::string TextAfter(const std::string& text, const std::string& marker, const std::string& end) {
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return std::string();
    at += marker.size();
    size_t stop = text.find(end, at);
    return stop == std::string::npos ? std::string() : text.substr(at, stop - at);
}

// Index of the first line starting with `prefix`; -1 when none.
int IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines)
        n += line.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return n;
}

class PhoneSimServerTest : public ::testing::Test {
protected:
    void TearDown() override { server_.stop(10000); }

    // Starts zusp-log-server on a free port and learns the port.
    void StartServer(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv = {e2e::Bin("zusp-log-server"), "--log",
                                         dir_.file("server.log"), "--seconds", "90"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(e2e::Start(&server_, dir_, "server", argv));
        ASSERT_TRUE(e2e::WaitForText(dir_.file("server.out"), "serving on command port ", 10000))
            << e2e::ReadText(dir_.file("server.err"));
        port_ = std::atoi(LineAfter(ServerEvents(), "serving on command port ").c_str());
        ASSERT_GT(port_, 0);
    }

    // The server ends on SIGTERM, and only then: exit 0.
    void StopServer() {
        ASSERT_TRUE(server_.signal(false));
        EXPECT_EQ(server_.wait(15000), 0) << e2e::ReadText(dir_.file("server.err"));
        EXPECT_TRUE(HasLine(ServerEvents(), "stopped"));
    }

    PhoneRun RunPhone(std::vector<std::string> args, const std::string& tag = "phone") {
        args.insert(args.begin(), e2e::Bin("zucam-phone-sim"));
        platform::ChildProcess phone;
        PhoneRun r;
        if (!e2e::Start(&phone, dir_, tag, args)) {
            ADD_FAILURE() << "cannot start zucam-phone-sim";
            return r;
        }
        r.exitCode = phone.wait(60000);
        if (r.exitCode == -1)
            ADD_FAILURE() << "zucam-phone-sim did not end within 60 s";
        r.out = e2e::ReadText(dir_.file(tag + ".out"));
        r.err = e2e::ReadText(dir_.file(tag + ".err"));
        return r;
    }

    std::string ServerEvents() const { return e2e::ReadText(dir_.file("server.out")); }
    // Waits until the server has closed the link as often as `times`.
    bool WaitForDisconnects(int times, int timeoutMs = 10000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (CountStartingWith(Lines(ServerEvents()), "disconnected") >= times)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    std::string PortText() const { return std::to_string(port_); }

    zutest::TempDir dir_;
    platform::ChildProcess server_;
    int port_ = 0;
};

enum class Transport { kTcp, kZup2p, kZup2pChunks };

class PhoneSimServerStreamTest : public PhoneSimServerTest,
                                 public ::testing::WithParamInterface<Transport> {};

TEST_P(PhoneSimServerStreamTest, EveryPacketReachesTheCallbacksIntactAndInOrder) {
    const Transport transport = GetParam();
    const bool udp = transport != Transport::kTcp;
    StartServer();
    // 300 pictures at 60/s with a key frame every 100 (each led by the
    // parameter sets), and 10 ms audio blocks: 303 video packets and 500
    // audio packets in five seconds.
    std::vector<std::string> args = {"--port",        PortText(),
                                     "--pattern",     "320x240@60",
                                     "--gop",         "100",
                                     "--frames",      "300",
                                     "--tone",        "1000",
                                     "--block-ms",    "10",
                                     "--log-packets", dir_.file("phone.log")};
    if (udp)
        args.push_back("--udp");
    if (transport == Transport::kZup2pChunks) {
        args.push_back("--udp-chunk");
        args.push_back("777");
    }
    PhoneRun r = RunPhone(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    ASSERT_TRUE(WaitForDisconnects(1)) << ServerEvents();

    // The push-play reply, exactly as the server wrote it.
    const std::string reply = LineAfter(r.out, "reply push-play: ");
    const std::string key = TextAfter(reply, "\"key\":\"", "\"");
    EXPECT_TRUE(IsGuidText(key)) << reply;
    const std::string head = "{\"data\":{\"bite_rate\":4,\"key\":\"" + key + "\",\"port\":";
    const std::string tail = "},\"type\":0,\"version\":\"1.0\"}";
    if (udp) {
        const std::string udpPort = TextAfter(reply, "\"udpPort\":", "}");
        EXPECT_GT(std::atoi(udpPort.c_str()), 0) << reply;
        EXPECT_EQ(reply, head + "0,\"udpPort\":" + udpPort + tail);
        EXPECT_EQ(LineAfter(ServerEvents(), "stream port "), "") << "Zup2p opened a TCP port";
    } else {
        // The first free port above the command port, announced before the reply.
        const std::string port = std::to_string(port_ + 1);
        EXPECT_EQ(reply, head + port + tail);
        EXPECT_EQ(LineAfter(ServerEvents(), "stream port "), port);
    }

    // The phone's log leads with the token packet, which the server checks
    // and keeps to itself; every other line must be the same on both ends.
    std::vector<std::string> sent = Lines(e2e::ReadText(dir_.file("phone.log")));
    std::vector<std::string> delivered = Lines(e2e::ReadText(dir_.file("server.log")));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), phonesim::PacketLog::TokenLine(key.data(), key.size()));
    sent.erase(sent.begin());
    EXPECT_EQ(delivered, sent);
    EXPECT_EQ(CountStartingWith(delivered, "video kind=0 "), 297);
    EXPECT_EQ(CountStartingWith(delivered, "video kind=1 "), 3);
    EXPECT_EQ(CountStartingWith(delivered, "video kind=2 "), 3);
    EXPECT_EQ(CountStartingWith(delivered, "audio rate=48000 channels=2 bits=16 len=1920 "), 500);

    // Connected with the phone's name (a TCP stream port comes first),
    // closed once the stream ended; the phone saw that close.
    const std::vector<std::string> events = Lines(ServerEvents());
    EXPECT_EQ(CountStartingWith(events, "connected name=zucam-phone-sim"), 1);
    const int connected = IndexOf(events, "connected name=");
    EXPECT_LT(connected, IndexOf(events, "disconnected"));
    if (!udp) {
        EXPECT_LT(IndexOf(events, "stream port "), connected);
    }
    EXPECT_NE(r.out.find("the desktop closed the link after the end of the stream"),
              std::string::npos);
    EXPECT_EQ(CountStartingWith(events, "cannot write"), 0);
    StopServer();
}

INSTANTIATE_TEST_SUITE_P(Transports, PhoneSimServerStreamTest,
                         ::testing::Values(Transport::kTcp, Transport::kZup2p,
                                           Transport::kZup2pChunks),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                             switch (info.param) {
                                 case Transport::kTcp:
                                     return std::string("Tcp");
                                 case Transport::kZup2p:
                                     return std::string("Zup2p");
                                 default:
                                     return std::string("Zup2pChunks777");
                             }
                         });

TEST_F(PhoneSimServerTest, BuiltInAndHandledCommandsGetTheExactReplies) {
    // "Desk 桌面": the server writes non-ASCII text as \u escapes.
    StartServer({"--device-name", "Desk \xe6\xa1\x8c\xe9\x9d\xa2", "--accept", "7"});
    PhoneRun r = RunPhone({"--port", PortText(), "--no-play", "--command", "ping", "--command",
                           "device-name", "--command", "type:7", "--command", "shutdown"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(LineAfter(r.out, "reply ping: "), R"({"data":null,"type":-1,"version":"1.0"})");
    EXPECT_EQ(LineAfter(r.out, "reply device-name: "),
              R"({"name":"Desk \u684c\u9762","type":1001,"version":"1.0"})");
    // Handled, nothing to say: no "data" member at all.
    EXPECT_EQ(LineAfter(r.out, "reply type:7: "), R"({"type":0,"version":"1.0"})");
    EXPECT_EQ(LineAfter(r.out, "reply shutdown: "), R"({"data":null,"type":0,"version":"1.0"})");
    EXPECT_NE(r.out.find("the desktop closed the link after shutdown"), std::string::npos);
    // The reply came after the server logged the command.
    EXPECT_TRUE(HasLine(ServerEvents(), "command type=7 accepted"));
    // No push-play: the phone never counted as connected, nor as gone.
    EXPECT_EQ(CountStartingWith(Lines(ServerEvents()), "connected"), 0);
    EXPECT_EQ(CountStartingWith(Lines(ServerEvents()), "disconnected"), 0);
    StopServer();
}

TEST_F(PhoneSimServerTest, RefusedCommandMidStreamEndsThePhoneWithItsMessage) {
    StartServer();
    PhoneRun r =
        RunPhone({"--port", PortText(), "--pattern", "320x240@30", "--tone", "440", "--duration",
                  "10", "--command", "hold@0.5", "--log-packets", dir_.file("phone.log")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(LineAfter(r.out, "reply hold: "), R"({"type":1,"version":"1.0"})");
    EXPECT_NE(r.err.find("zucam-phone-sim: error: hold: refused by the desktop (reply type 1)"),
              std::string::npos)
        << r.err;
    ASSERT_TRUE(WaitForDisconnects(1));
    EXPECT_TRUE(HasLine(ServerEvents(), "command type=6 refused"));
    // What arrived before the close arrived intact: the delivered lines are
    // the sent ones (token aside) up to where the server stopped reading.
    std::vector<std::string> sent = Lines(e2e::ReadText(dir_.file("phone.log")));
    std::vector<std::string> delivered = Lines(e2e::ReadText(dir_.file("server.log")));
    ASSERT_FALSE(sent.empty());
    sent.erase(sent.begin());
    ASSERT_LE(delivered.size(), sent.size());
    EXPECT_GE(CountStartingWith(delivered, "video kind="), 5);
    EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), sent.begin()));
    StopServer();
}

TEST_F(PhoneSimServerTest, BadRequestClosesTheLinkAndTheNextPhoneIsServed) {
    StartServer();
    // A negative type other than -1 gets no reply, only a closed link.
    PhoneRun bad = RunPhone({"--port", PortText(), "--no-play", "--command", "type:-5"}, "bad");
    EXPECT_EQ(bad.exitCode, 1) << bad.out << bad.err;
    EXPECT_NE(bad.err.find("zucam-phone-sim: error: type:-5: "), std::string::npos) << bad.err;
    EXPECT_EQ(LineAfter(bad.out, "reply type:-5: "), "");
    // The phone saw the server close the link; a phone that never push-played
    // is not reported as gone.
    EXPECT_EQ(CountStartingWith(Lines(ServerEvents()), "command "), 0);
    EXPECT_EQ(CountStartingWith(Lines(ServerEvents()), "disconnected"), 0);

    PhoneRun next = RunPhone({"--port", PortText(), "--no-play", "--command", "ping"}, "next");
    EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
    EXPECT_NE(next.out.find("ping: the desktop is alive"), std::string::npos);
    StopServer();
}

TEST_F(PhoneSimServerTest, RefusedConnectionIsReported) {
    // Learn a free port, then close it: nothing listens there any more.
    StartServer();
    StopServer();
    PhoneRun r = RunPhone({"--port", PortText(), "--pattern", "160x120@30", "--frames", "3"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("zucam-phone-sim: error: cannot connect to the desktop's command port "
                         "127.0.0.1:" +
                         PortText() + ": Connection refused"),
              std::string::npos)
        << r.err;
}

}  // namespace
