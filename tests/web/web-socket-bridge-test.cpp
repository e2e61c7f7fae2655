// The phone page's server and bridge against a stand-in stream-protocol
// server on loopback, with a Qt WebSocket as the browser.
#include "web/web-socket-bridge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtEndian>

#include <functional>
#include <memory>

#include "web/web-phone-server.h"

namespace {

constexpr int kWaitMs = 20000;
const QString kSecret = QStringLiteral("SECRETSECRETSECRET0123");

QCoreApplication* App() {
    static int argc = 1;
    static char name[] = "web_socket_bridge_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > kWaitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QByteArray Framed(const QByteArray& body) {
    QByteArray n(4, '\0');
    qToBigEndian(static_cast<quint32>(body.size()), reinterpret_cast<uchar*>(n.data()));
    return n + body;
}

// Stands in for the stream-protocol server: records what comes in, answers
// a push-play with its stream port and a key.
struct FakeDesktop {
    QTcpServer command;
    QTcpServer stream;
    QTcpSocket* commandPeer = nullptr;
    QTcpSocket* streamPeer = nullptr;
    QByteArray commandBytes;
    QByteArray streamBytes;
    int commandConnections = 0;
    bool refuse = false;

    FakeDesktop() {
        EXPECT_TRUE(command.listen(QHostAddress::LocalHost));
        EXPECT_TRUE(stream.listen(QHostAddress::LocalHost));
        QObject::connect(&command, &QTcpServer::newConnection, [this] {
            commandPeer = command.nextPendingConnection();
            ++commandConnections;
            if (refuse) {
                commandPeer->abort();
                return;
            }
            QObject::connect(commandPeer, &QTcpSocket::readyRead, [this] {
                commandBytes += commandPeer->readAll();
                if (commandBytes.contains("\"type\":0")) {
                    commandPeer->write(
                        Framed("{\"type\":0,\"data\":{\"port\":" +
                               QByteArray::number(stream.serverPort()) +
                               ",\"key\":\"{KEY}\",\"bite_rate\":4},\"version\":\"1.0\"}\n"));
                    commandBytes.clear();
                }
            });
        });
        QObject::connect(&stream, &QTcpServer::newConnection, [this] {
            streamPeer = stream.nextPendingConnection();
            QObject::connect(streamPeer, &QTcpSocket::readyRead,
                             [this] { streamBytes += streamPeer->readAll(); });
        });
    }
};

class WebSocketBridgeTest : public ::testing::Test {
protected:
    // Before the fixture's members: its sockets need the application's event
    // dispatcher from the start.
    static void SetUpTestSuite() { App(); }
    void SetUp() override {
        server_ = std::make_unique<WebPhoneServer>();
        server_->SetSecret(kSecret);
        ASSERT_TRUE(server_->Start(0, desktop_.command.serverPort()));
    }
    QWebSocket* Open(const QString& secret) {
        auto* ws = new QWebSocket();
        sockets_.emplace_back(ws);
        QObject::connect(ws, &QWebSocket::textMessageReceived,
                         [this](const QString& t) { texts_ << t; });
        ws->open(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/ws?k=%2").arg(server_->Port()).arg(secret)));
        return ws;
    }

    FakeDesktop desktop_;
    std::unique_ptr<WebPhoneServer> server_;
    std::vector<std::unique_ptr<QWebSocket>> sockets_;
    QStringList texts_;
};

TEST_F(WebSocketBridgeTest, WrongSecretIsClosedAsOutOfDateWithoutReachingTheDesktop) {
    QWebSocket* ws = Open(QStringLiteral("wrong"));
    ASSERT_TRUE(WaitUntil([&] { return ws->closeCode() == WebSocketBridge::kCloseWrongSecret; }))
        << ws->closeCode();
    EXPECT_EQ(ws->closeReason(), QStringLiteral("link out of date"));
    EXPECT_EQ(desktop_.commandConnections, 0);
}

// Every refused browser gives its place back: strangers with an old link
// must not lock the phone page for the right one.
TEST_F(WebSocketBridgeTest, BrowsersWithAWrongSecretLeaveNoPlaceTaken) {
    for (int i = 0; i < WebPhoneServer::kMaxBrowsers + 2; ++i) {
        QWebSocket* wrong = Open(QStringLiteral("wrong"));
        ASSERT_TRUE(WaitUntil([&] {
            return wrong->closeCode() == WebSocketBridge::kCloseWrongSecret &&
                   wrong->state() == QAbstractSocket::UnconnectedState;
        })) << i;
    }
    QWebSocket* ws = Open(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; }));
    ws->sendTextMessage(QStringLiteral("{\"type\":0,\"data\":{\"name\":\"Browser\"}}"));
    EXPECT_TRUE(WaitUntil([&] { return !texts_.isEmpty(); }));
}

TEST_F(WebSocketBridgeTest, RelaysCommandsAndStartsTheStreamWithTheToken) {
    QWebSocket* ws = Open(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; }));
    const QByteArray playBody = "{\"type\":0,\"data\":{\"name\":\"Browser\"}}";
    ws->sendTextMessage(QString::fromUtf8(playBody));
    ASSERT_TRUE(WaitUntil([&] { return texts_.size() >= 2; })) << texts_.join("|").toStdString();
    EXPECT_TRUE(texts_.contains(QStringLiteral("{\"web\":\"key\"}")));
    EXPECT_TRUE(texts_[0].contains(QStringLiteral("\"key\":\"{KEY}\"")));

    const QByteArray media = QByteArray::fromHex("00000001000000080000000100000001000000030a0b0c");
    ws->sendBinaryMessage(media);
    const QByteArray token = WebSocketBridge::TokenPacket("{KEY}");
    ASSERT_TRUE(
        WaitUntil([&] { return desktop_.streamBytes.size() >= token.size() + media.size(); }));
    EXPECT_EQ(desktop_.streamBytes, token + media);
}

TEST_F(WebSocketBridgeTest, ADesktopThatHangsUpBeforeAnyReplyIsARefusal) {
    desktop_.refuse = true;
    QWebSocket* ws = Open(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return ws->closeCode() == WebSocketBridge::kCloseRefused; }))
        << ws->closeCode();
}

TEST_F(WebSocketBridgeTest, OverlongCommandEndsTheBrowserSession) {
    QWebSocket* ws = Open(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; }));
    ws->sendTextMessage(QString(5000, QLatin1Char('x')));
    ASSERT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(desktop_.commandBytes.isEmpty());
}

TEST_F(WebSocketBridgeTest, HugeOrMalformedHeadsAreAnsweredAndTheServerKeepsServing) {
    for (const QByteArray& head :
         {QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(20000, 'a') + "\r\n\r\n",
          QByteArray("NOT HTTP AT ALL\r\n\r\n")}) {
        QTcpSocket raw;
        raw.connectToHost(QHostAddress::LocalHost, server_->Port());
        ASSERT_TRUE(WaitUntil([&] { return raw.state() == QAbstractSocket::ConnectedState; }));
        raw.write(head);
        QByteArray answer;
        ASSERT_TRUE(WaitUntil([&] {
            answer += raw.readAll();
            return raw.state() == QAbstractSocket::UnconnectedState || answer.contains("\r\n\r\n");
        }));
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 431") || answer.startsWith("HTTP/1.1 400"))
            << answer.left(60).constData();
    }
    QWebSocket* ws = Open(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; }));
    EXPECT_TRUE(WaitUntil([&] { return server_->PendingConnections() == 0; }));
}

TEST_F(WebSocketBridgeTest, OneAddressCannotTakeEveryPlace) {
    const int extra = 4;
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < WebPhoneServer::kMaxPendingPerAddress + extra; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, server_->Port());
    }
    auto closed = [&] {
        int n = 0;
        for (const auto& s : idle)
            n += s->state() == QAbstractSocket::UnconnectedState;
        return n;
    };
    ASSERT_TRUE(WaitUntil([&] {
        return closed() == extra &&
               server_->PendingConnections() == WebPhoneServer::kMaxPendingPerAddress;
    })) << closed()
        << " closed, " << server_->PendingConnections() << " pending";
    idle.clear();
    ASSERT_TRUE(WaitUntil([&] { return server_->PendingConnections() == 0; }));
    QWebSocket* ws = Open(kSecret);
    EXPECT_TRUE(WaitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; }));
}

// A browser that sends pings (each answered with a pong) and never reads
// must not make the desktop keep every answer.
TEST_F(WebSocketBridgeTest, ABrowserThatNeverReadsItsAnswersIsDropped) {
    QTcpSocket raw;
    raw.setReadBufferSize(4096);
    raw.connectToHost(QHostAddress::LocalHost, server_->Port());
    ASSERT_TRUE(WaitUntil([&] { return raw.state() == QAbstractSocket::ConnectedState; }));
    raw.write("GET /ws?k=" + kSecret.toLatin1() +
              " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    ASSERT_TRUE(WaitUntil([&] { return raw.peek(12) == "HTTP/1.1 101"; })) << raw.peek(40).data();
    // Masked pings with 125 bytes each (a zero mask leaves the payload as is).
    QByteArray ping("\x89\xfd\0\0\0\0", 6);
    ping += QByteArray(125, 'p');
    QByteArray burst;
    for (int i = 0; i < 8192; ++i)
        burst += ping;
    const qint64 limit = 8 * WebPhoneServer::kMaxUnsentBytes;
    qint64 sent = 0;
    ASSERT_TRUE(WaitUntil([&] {
        if (raw.state() != QAbstractSocket::ConnectedState)
            return true;
        if (raw.bytesToWrite() < burst.size() && sent < limit)
            sent += raw.write(burst);
        return false;
    })) << sent
        << " bytes of pings sent and the connection is still open";
    EXPECT_LT(sent, limit);
}

TEST(WebSocketBridgeParseTest, OnlyAPushPlayReplyWithKeyAndPortOpensAStream) {
    QByteArray key;
    quint16 port = 0;
    EXPECT_TRUE(WebSocketBridge::ParsePushPlayReply(
        "{\"type\":0,\"data\":{\"port\":10081,\"key\":\"{A}\"},\"version\":\"1.0\"}", &key, &port));
    EXPECT_EQ(key, "{A}");
    EXPECT_EQ(port, 10081);
    for (const char* other :
         {"{\"type\":0,\"data\":{\"port\":0,\"key\":\"{A}\",\"udpPort\":5}}",
          "{\"type\":0,\"data\":{\"port\":70000,\"key\":\"{A}\"}}",
          "{\"type\":0,\"data\":{\"port\":10081,\"key\":5}}", "{\"type\":-1,\"data\":null}",
          "{\"type\":1001,\"name\":\"x\"}", "not json", "[1,2]", ""}) {
        EXPECT_FALSE(WebSocketBridge::ParsePushPlayReply(other, &key, &port)) << other;
    }
    EXPECT_EQ(WebSocketBridge::TokenPacket("AB"),
              QByteArray::fromHex("000000000000000000000002") + "AB");
}

}  // namespace
