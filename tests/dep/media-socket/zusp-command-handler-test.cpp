#include "dep/QtComponent/media-socket/zusp-command-handler.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/repeat-limit.h"
#include "platform/stderr-capture.h"
#include "tests/dep/media-socket/test-peer.h"
#include "tests/support/test-host.h"

namespace media_socket {
namespace {

// Records what the protocol asks of its server, in order.
class FakeHost : public ZuSPCommandHost {
public:
    void SendCmd(const std::string& body) override {
        replies.push_back(body);
        log.push_back("reply");
    }
    void RequestClose() override {
        ++closes;
        log.push_back("close");
    }
    unsigned OpenTcpStream() override {
        log.push_back("tcp");
        return tcp_port;
    }
    unsigned StartUdpStream() override {
        log.push_back("udp");
        return udp_port;
    }
    void NotifyStreamPort(unsigned port) override {
        log.push_back("stream-port:" + std::to_string(port));
    }
    std::string RenewToken() override { return token = "{TOKEN-" + std::to_string(++tokens) + "}"; }
    void NotifyConnected(const std::string& peer) override { log.push_back("connected:" + peer); }
    bool HandleCustomCommand(int type, const Json::Value& data, Json::Value* reply) override {
        log.push_back("custom:" + std::to_string(type));
        custom_data = data;
        if (custom)
            return custom(type, data, reply);
        return false;
    }
    std::string DeviceName() override { return device_name; }

    std::vector<std::string> replies;
    std::vector<std::string> log;
    int closes = 0;
    int tokens = 0;
    std::string token;
    unsigned tcp_port = 10081;
    unsigned udp_port = 0;
    std::string device_name = "Desk";
    Json::Value custom_data;
    std::function<bool(int, const Json::Value&, Json::Value*)> custom;
};

class ZuSPCommandHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { host_.clear(); }
    void Send(const std::string& body) {
        std::string frame = mstest::Frame(body);
        handler_.OnMessage(frame.data(), static_cast<int>(frame.size()));
    }
    std::string OnlyReply() {
        EXPECT_EQ(fake_.replies.size(), 1u);
        return fake_.replies.empty() ? std::string() : fake_.replies[0];
    }

    zutest::TestHost host_;
    FakeHost fake_;
    ZuSPCommandHandler handler_{&fake_};
};

TEST_F(ZuSPCommandHandlerTest, PingRepliesWithNullData) {
    Send("{\"type\":-1,\"data\":{}}");
    EXPECT_EQ(OnlyReply(), "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}\n");
    EXPECT_EQ(fake_.closes, 0);
}

TEST_F(ZuSPCommandHandlerTest, DeviceNameIsAtTheTopLevel) {
    fake_.device_name = "Büro-PC";
    Send("{\"type\":1001}");
    EXPECT_EQ(OnlyReply(), "{\"name\":\"B\\u00fcro-PC\",\"type\":1001,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, ShutdownRepliesThenCloses) {
    Send("{\"type\":2,\"data\":null}");
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"reply", "close"}));
    EXPECT_EQ(OnlyReply(), "{\"data\":null,\"type\":0,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, TcpPushPlayOpensPortThenRepliesThenReportsConnected) {
    Send("{\"type\":0,\"data\":{\"name\":\"Pixel 7\"}}");
    EXPECT_EQ(fake_.log,
              (std::vector<std::string>{"tcp", "stream-port:10081", "reply", "connected:Pixel 7"}));
    EXPECT_EQ(OnlyReply(),
              "{\"data\":{\"bite_rate\":4,\"key\":\"{TOKEN-1}\",\"port\":10081},"
              "\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_EQ(handler_.PeerName(), "Pixel 7");
}

// The command's text is echoed for diagnostics (into the log once standard
// error is diverted there): only the JSON object, with nothing raw in it.
TEST_F(ZuSPCommandHandlerTest, EchoedCommandsAreTheObjectOnlyAndEscaped) {
    platform::StderrCapture capture;
    ASSERT_TRUE(capture.active());
    Send(std::string("{\"type\":-1,\"data\":{\"name\":\"a\xff\"}}\n\x1b]0;t\x07\nforged line\n"));
    Send("{\"type\":0,\"data\":{\"name\":\"Pixel\"}}\r\n0101-00:00:00[E][bg] x.cpp 1 : \"no\"");
    const std::string echoed = capture.stop();
    EXPECT_NE(echoed.find("[ping_json]:{\"type\":-1,\"data\":{\"name\":\"a\\xff\"}}\n"),
              std::string::npos)
        << echoed;
    EXPECT_NE(echoed.find("[push-play_json]:{\"type\":0,\"data\":{\"name\":\"Pixel\"}}\n"),
              std::string::npos)
        << echoed;
    EXPECT_EQ(echoed.find("forged"), std::string::npos) << echoed;
    EXPECT_EQ(echoed.find("[E][bg]"), std::string::npos) << echoed;
    EXPECT_EQ(echoed.find('\x1b'), std::string::npos) << echoed;
    EXPECT_EQ(fake_.replies.size(), 2u);
}

TEST_F(ZuSPCommandHandlerTest, UdpPortZeroOrAbsentMeansTcp) {
    Send("{\"type\":1,\"data\":{\"udpPort\":0}}");
    Send("{\"type\":1,\"data\":{\"name\":\"x\"}}");
    ASSERT_EQ(fake_.replies.size(), 2u);
    for (const std::string& r : fake_.replies) {
        EXPECT_NE(r.find("\"port\":10081"), std::string::npos) << r;
        EXPECT_EQ(r.find("udpPort"), std::string::npos) << r;
    }
    // Every push-play makes a new token.
    EXPECT_NE(fake_.replies[0].find("{TOKEN-1}"), std::string::npos);
    EXPECT_NE(fake_.replies[1].find("{TOKEN-2}"), std::string::npos);
}

TEST_F(ZuSPCommandHandlerTest, UdpPushPlayRepliesPortZeroAndUdpPort) {
    fake_.udp_port = 51234;
    Send("{\"type\":0,\"data\":{\"name\":\"p\",\"udpPort\":1}}");
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"udp", "reply", "connected:p"}));
    EXPECT_EQ(OnlyReply(),
              "{\"data\":{\"bite_rate\":4,\"key\":\"{TOKEN-1}\",\"port\":0,"
              "\"udpPort\":51234},\"type\":0,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, PushPlayWithoutStreamEndpointClosesWithoutReply) {
    fake_.tcp_port = 0;
    Send("{\"type\":0,\"data\":{}}");
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"tcp", "close"}));
    fake_.log.clear();
    Send("{\"type\":0,\"data\":{\"udpPort\":7}}");
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"udp", "close"}));
    EXPECT_TRUE(fake_.replies.empty());
    EXPECT_EQ(fake_.tokens, 0);
}

TEST_F(ZuSPCommandHandlerTest, CustomCommandHandledWithReplyData) {
    fake_.custom = [](int, const Json::Value& data, Json::Value* reply) {
        (*reply)["echo"] = data["v"];
        return true;
    };
    Send("{\"type\":7,\"data\":{\"v\":[1,\"two\"]}}");
    EXPECT_EQ(OnlyReply(), "{\"data\":{\"echo\":[1,\"two\"]},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_EQ(fake_.custom_data["v"][1].asString(), "two");
    EXPECT_EQ(fake_.closes, 0);
}

TEST_F(ZuSPCommandHandlerTest, CustomCommandHandledWithEmptyReplyHasNoData) {
    for (Json::Value empty :
         {Json::Value(), Json::Value(Json::objectValue), Json::Value(Json::arrayValue)}) {
        fake_.replies.clear();
        fake_.custom = [empty](int, const Json::Value&, Json::Value* reply) {
            *reply = empty;
            return true;
        };
        Send("{\"type\":3,\"data\":{}}");
        EXPECT_EQ(OnlyReply(), "{\"type\":0,\"version\":\"1.0\"}\n");
    }
    // An empty string is a value, not an empty reply.
    fake_.replies.clear();
    fake_.custom = [](int, const Json::Value&, Json::Value* reply) {
        *reply = "";
        return true;
    };
    Send("{\"type\":3}");
    EXPECT_EQ(OnlyReply(), "{\"data\":\"\",\"type\":0,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, CustomCommandRefusedOrUnhandledRepliesOneThenCloses) {
    Send("{\"type\":5,\"data\":{}}");  // no callback behaviour: refused
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"custom:5", "reply", "close"}));
    EXPECT_EQ(OnlyReply(), "{\"type\":1,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, DataIsHandedOverUnchanged) {
    fake_.custom = [](int, const Json::Value&, Json::Value*) { return true; };
    Send("{\"type\":4}");
    EXPECT_TRUE(fake_.custom_data.isNull());
    Send("{\"type\":4,\"data\":{\"name\":\"n\",\"x\":1}}");
    EXPECT_EQ(fake_.custom_data["x"].asInt(), 1);
    EXPECT_EQ(handler_.PeerName(), "n");
}

TEST_F(ZuSPCommandHandlerTest, BadRequestsCloseWithoutReplyOrLog) {
    const char* bad[] = {
        "{\"type\":-5}",                              // negative, not ping
        "{\"type\":-2,\"data\":{}}",                  //
        "this is not json",                           //
        "",                                           //
        "{\"type\":\"ping\"}",                        // type not a number
        "{\"type\":0,\"data\":\"text\"}",             // data not an object
        "{\"type\":0,\"data\":[1,2]}",                //
        "{\"type\":0,\"data\":{\"name\":{}}}",        // name not text
        "{\"type\":0,\"data\":{\"udpPort\":\"1\"}}",  // udpPort not a number
        "{\"type\":1e40}",                            // type out of range
        "[1,2,3]",                                    // root not an object
    };
    for (const char* body : bad) {
        FakeHost fake;
        ZuSPCommandHandler handler(&fake);
        std::string frame = mstest::Frame(body);
        handler.OnMessage(frame.data(), static_cast<int>(frame.size()));
        EXPECT_EQ(fake.log, (std::vector<std::string>{"close"})) << body;
    }
    EXPECT_TRUE(host_.lines().empty());
}

TEST_F(ZuSPCommandHandlerTest, CommentsAreAllowedInRequests) {
    Send("{\"type\": -1 /* ping */, // and more\n \"data\": {}}");
    EXPECT_EQ(OnlyReply(), "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}\n");
}

TEST_F(ZuSPCommandHandlerTest, SeveralFramesInOneDeliveryAreAllAnswered) {
    std::string bytes = mstest::Frame("{\"type\":-1}") + mstest::Frame("{\"type\":1001}") +
                        mstest::Frame("{\"type\":-1}");
    handler_.OnMessage(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(fake_.replies.size(), 3u);
}

TEST_F(ZuSPCommandHandlerTest, FramesAfterAClosingCommandAreIgnored) {
    std::string bytes = mstest::Frame("{\"type\":2}") + mstest::Frame("{\"type\":0}") +
                        mstest::Frame("{\"type\":-1}");
    handler_.OnMessage(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(fake_.log, (std::vector<std::string>{"reply", "close"}));
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A ping flood is answered in full but printed only in part, ending with one
// line that counts the rest.
TEST_F(ZuSPCommandHandlerTest, RepeatedRequestsArePrintedInPartThenCounted) {
    platform::StderrCapture capture;
    ASSERT_TRUE(capture.active());
    constexpr int kPings = 1000;
    for (int i = 0; i < kPings; ++i)
        Send("{\"type\":-1,\"data\":{}}");
    Send("{\"type\":1001}");
    handler_.OnMessage(nullptr, 0);
    const std::string printed = capture.stop();
    EXPECT_EQ(fake_.replies.size(), static_cast<size_t>(kPings + 1));
    const int shown = Count(printed, "[ping_json]:{");
    EXPECT_GE(shown, 1);
    EXPECT_LE(shown, RepeatLimit::kDefaultBurst * 2);
    const std::string more = "[ping_json]:\u2026 " + std::to_string(kPings - shown) + " more\n";
    EXPECT_EQ(Count(printed, more), 1) << printed.substr(printed.size() - 300);
    EXPECT_EQ(Count(printed, "[device-name_json]:{"), 1);
    // The count comes before the end of the connection is told.
    EXPECT_LT(printed.find(more), printed.find("[null]cmd disconnected"));
}

TEST(RepeatLimitTest, ABurstPerWindowThenOneCountBeforeTheNextWrittenLine) {
    RepeatLimit limit(3, 1000);
    uint64_t heldBack = 99;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(limit.Allow(10 + i, &heldBack));
        EXPECT_EQ(heldBack, 0u);
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(limit.Allow(20 + i, &heldBack));
    // The next window: written again, with the count of the ones held back.
    EXPECT_TRUE(limit.Allow(1010, &heldBack));
    EXPECT_EQ(heldBack, 5u);
    EXPECT_TRUE(limit.Allow(1011, &heldBack));
    EXPECT_EQ(heldBack, 0u);
    EXPECT_TRUE(limit.Allow(1012, &heldBack));
    EXPECT_FALSE(limit.Allow(1013, &heldBack));
    EXPECT_EQ(limit.TakeHeldBack(), 1u);
    EXPECT_EQ(limit.TakeHeldBack(), 0u);
    // A clock that goes back opens a window rather than silencing for good.
    EXPECT_TRUE(limit.Allow(5, &heldBack));
}

TEST_F(ZuSPCommandHandlerTest, ZeroLengthDeliveryMeansDisconnected) {
    handler_.OnMessage(nullptr, 0);
    EXPECT_EQ(fake_.closes, 1);
    EXPECT_TRUE(host_.contains("[I][bg]"));
    EXPECT_TRUE(host_.contains("cmd connection disconnected"));
}

TEST_F(ZuSPCommandHandlerTest, OverLongFrameIsLoggedAndCloses) {
    std::string head = mstest::Be32(4097);
    handler_.OnMessage(head.data(), 4);
    EXPECT_EQ(fake_.closes, 1);
    EXPECT_TRUE(host_.contains("[E][bg]"));
    EXPECT_TRUE(host_.contains("packet is too long"));
}

TEST_F(ZuSPCommandHandlerTest, FrameThatCannotCompleteOverflowsTheBuffer) {
    std::string bytes = mstest::Be32(4093) + std::string(2000, ' ');
    handler_.OnMessage(bytes.data(), static_cast<int>(bytes.size()));
    handler_.OnMessage(bytes.data() + 4, 2000);
    EXPECT_EQ(fake_.closes, 0);
    handler_.OnMessage(bytes.data() + 4, 100);
    EXPECT_EQ(fake_.closes, 1);
    EXPECT_TRUE(host_.contains("cmd buffer is too long"));
}

TEST_F(ZuSPCommandHandlerTest, ResetDropsAPartialFrame) {
    std::string partial = mstest::Frame("{\"type\":-1}").substr(0, 6);
    handler_.OnMessage(partial.data(), static_cast<int>(partial.size()));
    EXPECT_EQ(handler_.BufferedBytes(), 6);
    handler_.Reset();
    Send("{\"type\":-1}");
    EXPECT_EQ(fake_.replies.size(), 1u);
}

}  // namespace
}  // namespace media_socket
