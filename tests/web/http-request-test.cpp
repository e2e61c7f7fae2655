#include "web/http-request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HttpRequest::Result Parse(HttpRequest* r, const std::string& text, size_t* head = nullptr) {
    return r->Parse(text.data(), text.size(), head);
}

TEST(HttpRequestTest, ReadsTheRequestLineFieldsAndQuery) {
    HttpRequest r;
    const std::string text =
        "GET /ws?k=ab%2Fc+d&x=1 HTTP/1.1\r\nHost: 10.0.0.2:10090\r\n"
        "Upgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\nBODY";
    size_t head = 0;
    ASSERT_EQ(Parse(&r, text, &head), HttpRequest::Result::kComplete);
    EXPECT_EQ(head, text.size() - 4);
    EXPECT_EQ(r.Method(), "GET");
    EXPECT_EQ(r.Path(), "/ws");
    EXPECT_EQ(r.Field("HOST"), "10.0.0.2:10090");
    EXPECT_EQ(r.QueryValue("k"), "ab/c d");
    EXPECT_EQ(r.QueryValue("x"), "1");
    EXPECT_EQ(r.QueryValue("missing"), "");
    EXPECT_TRUE(r.IsWebSocketUpgrade());
}

TEST(HttpRequestTest, PlainRequestIsNoUpgradeAndOddPercentSignsStayLiteral) {
    HttpRequest r;
    ASSERT_EQ(Parse(&r, "GET /?k=%zz%4 HTTP/1.0\r\nConnection: upgrade\r\n\r\n"),
              HttpRequest::Result::kComplete);
    EXPECT_FALSE(r.IsWebSocketUpgrade());
    EXPECT_EQ(r.QueryValue("k"), "%zz%4");
}

TEST(HttpRequestTest, WaitsForTheBlankLineThenRefusesAHeadOverTheLimit) {
    HttpRequest r;
    EXPECT_EQ(Parse(&r, "GET / HTTP/1.1\r\nHost: a\r\n"), HttpRequest::Result::kIncomplete);
    EXPECT_EQ(Parse(&r, ""), HttpRequest::Result::kIncomplete);
    std::string huge = "GET / HTTP/1.1\r\nX: " + std::string(HttpRequest::kMaxHeadBytes, 'a');
    EXPECT_EQ(Parse(&r, huge), HttpRequest::Result::kTooLarge);
    // A blank line past the limit is never looked for.
    EXPECT_EQ(Parse(&r, huge + "\r\n\r\n"), HttpRequest::Result::kTooLarge);
    std::string many = "GET / HTTP/1.1\r\n";
    for (size_t i = 0; i <= HttpRequest::kMaxFields; ++i)
        many += "A" + std::to_string(i) + ": b\r\n";
    EXPECT_EQ(Parse(&r, many + "\r\n"), HttpRequest::Result::kTooLarge);
}

TEST(HttpRequestTest, RefusesMalformedHeads) {
    HttpRequest r;
    for (const std::string& bad :
         {std::string("\r\n\r\n"), std::string("GET / HTTP/2\r\n\r\n"),
          std::string("GET  / HTTP/1.1\r\n\r\n"), std::string("GET / HTTP/1.1 x\r\n\r\n"),
          std::string("GET noslash HTTP/1.1\r\n\r\n"), std::string("G(T / HTTP/1.1\r\n\r\n"),
          std::string("GET /\x01 HTTP/1.1\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nNoColon\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nBad Name: x\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nA: b\x7f\r\n\r\n"),
          std::string("GET /") + std::string(3000, 'a') + " HTTP/1.1\r\n\r\n",
          std::string("GET / HTTP/1.1\r\nA: b\0c\r\n\r\n", 26)}) {
        EXPECT_EQ(Parse(&r, bad), HttpRequest::Result::kMalformed) << bad;
    }
}

}  // namespace
