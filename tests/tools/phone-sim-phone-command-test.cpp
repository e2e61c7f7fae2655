#include <gtest/gtest.h>

#include <string>

#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/phone-command.h"

namespace phonesim {
namespace {

PhoneCommand Command(const std::string& text) {
    PhoneCommand c;
    std::string error;
    EXPECT_TRUE(PhoneCommand::Parse(text, &c, &error)) << error;
    return c;
}

Json::Value Json(const std::string& text) {
    Json::Value v;
    std::string error;
    EXPECT_TRUE(CommandChannel::ParseJson(text, &v, &error)) << error;
    return v;
}

std::string Summary(const std::string& command, const std::string& reply, bool* failed) {
    return SummarizeReply(Command(command), Json(reply), failed);
}

TEST(PhoneSimPhoneCommand, RequestsAreCompactJsonInKeyOrder) {
    EXPECT_EQ(CommandChannel::WriteJson(Command("ping").Request()), R"({"data":{},"type":-1})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("record-start").Request()),
              R"({"data":{"type":1},"type":5})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("record-stop@1").Request()),
              R"({"data":{"type":0},"type":5})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("record-query").Request()),
              R"({"data":{"type":2},"type":5})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("hold").Request()), R"({"data":{},"type":6})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("shutdown").Request()), R"({"data":{},"type":2})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("device-name").Request()),
              R"({"data":{},"type":1001})");
    EXPECT_EQ(CommandChannel::WriteJson(Command("type:-7").Request()), R"({"data":{},"type":-7})");
    EXPECT_EQ(CommandChannel::WriteJson(PushPlayRequest("手机 \"1\"", false)),
              R"({"data":{"name":"手机 \"1\""},"type":0})");
    EXPECT_EQ(CommandChannel::WriteJson(PushPlayRequest("p", true)),
              R"({"data":{"name":"p","udpPort":1},"type":0})");
}

TEST(PhoneSimPhoneCommand, FramesAreLengthPrefixedBigEndian) {
    std::string frame = CommandChannel::EncodeFrame(std::string(300, 'x'));
    ASSERT_EQ(frame.size(), 304u);
    EXPECT_EQ(frame.substr(0, 4), std::string("\0\0\x01\x2c", 4));
    EXPECT_EQ(CommandChannel::EncodeFrame(""), std::string(4, '\0'));
}

TEST(PhoneSimPhoneCommand, SummariesOfSuccessfulReplies) {
    bool failed = true;
    EXPECT_EQ(Summary("ping", R"({"data":null,"type":-1,"version":"1.0"})", &failed),
              "the desktop is alive");
    EXPECT_FALSE(failed);
    EXPECT_EQ(Summary("device-name", R"({"name":"桌面","type":1001,"version":"1.0"})", &failed),
              "device name \"桌面\"");
    EXPECT_FALSE(failed);
    EXPECT_EQ(Summary("screenshot", R"({"type":0,"version":"1.0"})", &failed), "accepted");
    EXPECT_FALSE(failed);
    EXPECT_EQ(Summary("record-query", R"({"data":{"state":1},"type":0,"version":"1.0"})", &failed),
              "accepted, state 1 (recording)");
    EXPECT_EQ(Summary("record-stop", R"({"data":{"state":0},"type":0,"version":"1.0"})", &failed),
              "accepted, state 0 (not recording)");
    EXPECT_FALSE(failed);
    EXPECT_EQ(Summary("shutdown", R"({"data":null,"type":0,"version":"1.0"})", &failed),
              "accepted; the desktop closes the link");
    EXPECT_FALSE(failed);
}

TEST(PhoneSimPhoneCommand, RefusalsAndOddRepliesAreFailures) {
    bool failed = false;
    EXPECT_EQ(Summary("screenshot", R"({"type":1,"version":"1.0"})", &failed),
              "refused by the desktop (reply type 1)");
    EXPECT_TRUE(failed);
    failed = false;
    EXPECT_NE(Summary("ping", R"({"type":0})", &failed).find("unexpected reply type 0"),
              std::string::npos);
    EXPECT_TRUE(failed);
    for (const char* odd : {"[1,2]", "{}", R"({"type":"0"})", R"({"type":0.5})", "17"}) {
        failed = false;
        Summary("hold", odd, &failed);
        EXPECT_TRUE(failed) << odd;
    }
    failed = false;
    EXPECT_NE(Summary("device-name", R"({"type":1001})", &failed).find("no \"name\""),
              std::string::npos);
    EXPECT_TRUE(failed);
    // A record reply whose data is not an object must not throw.
    failed = true;
    EXPECT_EQ(Summary("record-query", R"({"data":"on","type":0})", &failed),
              "accepted (no state in the reply)");
    EXPECT_FALSE(failed);
}

TEST(PhoneSimPhoneCommand, PushPlayReplies) {
    bool failed = true;
    EXPECT_EQ(
        SummarizePushPlay(
            Json(R"({"data":{"bite_rate":4,"key":"{K}","port":10081},"type":0,"version":"1.0"})"),
            false, &failed),
        "accepted, stream port 10081, key {K}");
    EXPECT_FALSE(failed);
    EXPECT_EQ(SummarizePushPlay(Json(R"({"data":{"key":"k","port":0,"udpPort":40000},"type":0})"),
                                true, &failed),
              "accepted, Zup2p port 40000, key k");
    EXPECT_FALSE(failed);
    const std::pair<const char*, const char*> bad[] = {
        {R"({"data":{"key":"k","port":0},"type":0})", "no stream port"},
        {R"({"data":{"key":"k","port":70000},"type":0})", "no stream port"},
        {R"({"data":{"key":"k","port":"10081"},"type":0})", "no stream port"},
        {R"({"data":{"port":10081},"type":0})", "no \"key\""},
        {R"({"data":"x","type":0})", "no \"data\""},
        {R"({"type":1,"version":"1.0"})", "refused"},
        {R"({"type":-1})", "unexpected reply type -1"},
    };
    for (const auto& b : bad) {
        failed = false;
        std::string s = SummarizePushPlay(Json(b.first), false, &failed);
        EXPECT_TRUE(failed) << b.first;
        EXPECT_NE(s.find(b.second), std::string::npos) << s;
    }
    failed = false;
    EXPECT_NE(SummarizePushPlay(Json(R"({"data":{"key":"k","port":0},"type":0})"), true, &failed)
                  .find("no Zup2p port"),
              std::string::npos);
    EXPECT_TRUE(failed);
}

TEST(PhoneSimPhoneCommand, ParseJsonReportsGarbage) {
    Json::Value v;
    std::string error;
    EXPECT_FALSE(CommandChannel::ParseJson("{\"type\":", &v, &error));
    EXPECT_NE(error.find("not JSON"), std::string::npos);
    EXPECT_FALSE(CommandChannel::ParseJson("", &v, &error));
    EXPECT_TRUE(CommandChannel::ParseJson("{\"data\":null,\"type\":-1}\n", &v, &error));
}

}  // namespace
}  // namespace phonesim
