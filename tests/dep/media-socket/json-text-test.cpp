#include "dep/QtComponent/media-socket/json-text.h"

#include <gtest/gtest.h>

#include <string>

// The phones were written against JsonCpp's FastWriter; its output is the
// reference the compact writer must match byte for byte.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <json/writer.h>

namespace {
std::string FastWriterText(const Json::Value& v) {
    Json::FastWriter writer;
    return writer.write(v);
}
}  // namespace
#pragma GCC diagnostic pop

namespace media_socket {
namespace {

Json::Value Parse(const std::string& text) {
    Json::Value v;
    EXPECT_TRUE(ParseJson(text.data(), text.data() + text.size(), &v)) << text;
    return v;
}

TEST(JsonTextTest, UsedLengthEndsWithTheValue) {
    const std::string object = "{\"type\":0,\"data\":{\"name\":\"a\"}}";
    for (const std::string& tail : {std::string(), std::string("\n\x1b[2Jtrailing bytes")}) {
        const std::string text = object + tail;
        Json::Value v;
        size_t used = 0;
        ASSERT_TRUE(ParseJson(text.data(), text.data() + text.size(), &v, &used)) << text;
        EXPECT_EQ(text.substr(0, used), object);
    }
}

TEST(JsonTextTest, PingReplyIsCompactKeyOrderedWithLineFeed) {
    Json::Value reply;
    reply["version"] = "1.0";
    reply["type"] = -1;
    reply["data"] = Json::Value();
    EXPECT_EQ(WriteCompactJson(reply), "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}\n");
}

TEST(JsonTextTest, MatchesFastWriterOnAssortedValues) {
    const char* samples[] = {
        "null",
        "{}",
        "[]",
        "[[],{},[{}]]",
        "{\"z\":1,\"a\":[1,2,3],\"m\":{\"y\":true,\"b\":false}}",
        "{\"data\":{\"udpPort\":51000,\"port\":0,\"key\":\"{ABC}\",\"bite_rate\":4},\"type\":0}",
        "[0.1, 1e300, -2.5e-300, 3.0, 12345678901234567890, -9223372036854775808]",
        "{\"s\":\"tab\\tquote\\\"slash\\\\nl\\n\\u0001\\u001f\"}",
        "{\"utf8\":\"\xe4\xb8\xad\xe6\x96\x87 caf\xc3\xa9 \xf0\x9f\x98\x80\"}",
        "[\"a long array that needs more than seventy four characters to print\", 1, 2, 3]",
        "[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29]",
        "{\"\":\"empty key\",\"\\u00e9\":1}",
    };
    for (const char* text : samples) {
        Json::Value v = Parse(text);
        EXPECT_EQ(WriteCompactJson(v), FastWriterText(v)) << text;
    }
}

TEST(JsonTextTest, CommentsInTheValueAreNotWritten) {
    Json::Value v = Parse("{\"a\": 1 /* why */, // note\n \"b\": [2]}");
    EXPECT_EQ(WriteCompactJson(v), "{\"a\":1,\"b\":[2]}\n");
}

TEST(JsonTextTest, ParseRefusesNonJsonWithoutThrowing) {
    for (std::string text : {"", "{", "not json", "{\"type\":}", "\xff\xfe", "[1,,2]"}) {
        Json::Value v;
        EXPECT_FALSE(ParseJson(text.data(), text.data() + text.size(), &v)) << text;
    }
}

TEST(JsonTextTest, DeepNestingIsRefusedNotACrash) {
    std::string deep(100000, '[');
    Json::Value v;
    EXPECT_FALSE(ParseJson(deep.data(), deep.data() + deep.size(), &v));
}

}  // namespace
}  // namespace media_socket
