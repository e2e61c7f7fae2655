#include "web/web-http-connection.h"

#include <gtest/gtest.h>

namespace {

TEST(WebHttpConnectionTest, AnswersThePageFilesAndNothingElse) {
    const QByteArray page = WebHttpConnection::Answer("GET", "/");
    ASSERT_TRUE(page.startsWith("HTTP/1.1 200 OK\r\n")) << page.left(80).constData();
    EXPECT_TRUE(page.contains("Content-Type: text/html; charset=utf-8\r\n"));
    EXPECT_TRUE(page.contains("Cache-Control: no-store\r\n"));
    EXPECT_TRUE(page.contains("<script src=\"zucam-phone.js\">"));
    const int head = page.indexOf("\r\n\r\n") + 4;
    EXPECT_TRUE(
        page.contains("Content-Length: " + QByteArray::number(page.size() - head) + "\r\n"));

    for (const char* path : {"/zucam-phone.js", "/pcm-worklet.js"}) {
        const QByteArray js = WebHttpConnection::Answer("GET", path);
        EXPECT_TRUE(js.startsWith("HTTP/1.1 200 OK\r\n")) << path;
        EXPECT_TRUE(js.contains("Content-Type: text/javascript")) << path;
    }
    const QByteArray headOnly = WebHttpConnection::Answer("HEAD", "/");
    EXPECT_TRUE(headOnly.endsWith("\r\n\r\n"));
    EXPECT_TRUE(headOnly.contains("Content-Length: " + QByteArray::number(page.size() - head)));

    EXPECT_TRUE(WebHttpConnection::Answer("GET", "/../etc/passwd").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(WebHttpConnection::Answer("GET", "/web_page.qrc").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(WebHttpConnection::Answer("POST", "/").startsWith("HTTP/1.1 405"));
}

}  // namespace
