#include "web/web-phone-server.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include "hublet/log-sink.h"
#include "web/web-http-connection.h"
#include "web/web-socket-bridge.h"
#include "web/web-tcp-listener.h"

WebPhoneServer::WebPhoneServer(QObject* parent)
    : QObject(parent), listener_(std::make_unique<WebTcpListener>()) {
    webSockets_ =
        new QWebSocketServer(QStringLiteral("ZuCam"), QWebSocketServer::NonSecureMode, this);
    connect(webSockets_, &QWebSocketServer::newConnection, this, &WebPhoneServer::slot_NewBrowser);
    connect(listener_.get(), &WebTcpListener::sig_Accepted, this, &WebPhoneServer::slot_Accepted);
}

WebPhoneServer::~WebPhoneServer() {
    listener_->close();
}

bool WebPhoneServer::SetCertificate(const std::string& certPem, const std::string& keyPem) {
    QSslCertificate cert(QByteArray::fromStdString(certPem), QSsl::Pem);
    QSslKey key(QByteArray::fromStdString(keyPem), QSsl::Ec, QSsl::Pem);
    if (cert.isNull() || key.isNull())
        return false;
    tls_ = QSslConfiguration::defaultConfiguration();
    tls_.setLocalCertificate(cert);
    tls_.setPrivateKey(key);
    tls_.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls_.setProtocol(QSsl::TlsV1_2OrLater);
    return true;
}

bool WebPhoneServer::Start(quint16 port, quint16 commandPort) {
    commandPort_ = commandPort;
    if (!listener_->listen(QHostAddress::AnyIPv4, port)) {
        BG_LOGE("the phone page cannot listen on port %u: %s", port,
                listener_->errorString().toUtf8().constData());
        return false;
    }
    return true;
}

quint16 WebPhoneServer::Port() const {
    return listener_->serverPort();
}

void WebPhoneServer::slot_Accepted(QSslSocket* socket) {
    const QString address = socket->peerAddress().toString();
    int& fromAddress = pendingByAddress_[address];
    if (pending_ >= kMaxPendingConnections || fromAddress >= kMaxPendingPerAddress) {
        if (fromAddress == 0)
            pendingByAddress_.remove(address);
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++pending_;
    ++fromAddress;
    auto* connection = new WebHttpConnection(socket, tls_, this);
    connect(connection, &WebHttpConnection::sig_WebSocket, this, &WebPhoneServer::slot_WebSocket);
    connect(connection, &WebHttpConnection::sig_Done, this, [this, connection, address] {
        if (connection->property("done").toBool())
            return;
        connection->setProperty("done", true);
        --pending_;
        if (--pendingByAddress_[address] <= 0)
            pendingByAddress_.remove(address);
        connection->deleteLater();
    });
}

void WebPhoneServer::slot_WebSocket(QSslSocket* socket) {
    if (browsers_ >= kMaxBrowsers) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // The WebSocket answers every ping by itself and the bridge passes on
    // every reply, all into the socket's unbounded write buffer: a browser
    // that keeps sending and never reads would have it all kept.
    connect(socket, &QIODevice::readyRead, socket, [socket] {
        if (socket->bytesToWrite() + socket->encryptedBytesToWrite() <= kMaxUnsentBytes ||
            socket->property("dropped").toBool())
            return;
        socket->setProperty("dropped", true);
        BG_LOGW("browser phone dropped: it does not read what the desktop sends");
        // Not from inside the socket's own signal: the WebSocket reads it next.
        QMetaObject::invokeMethod(socket, &QAbstractSocket::abort, Qt::QueuedConnection);
    });
    socket->setParent(webSockets_);
    webSockets_->handleConnection(socket);
}

void WebPhoneServer::slot_NewBrowser() {
    while (QWebSocket* socket = webSockets_->nextPendingConnection()) {
        ++browsers_;
        auto* bridge = new WebSocketBridge(socket, secret_, commandPort_, this);
        connect(bridge, &WebSocketBridge::sig_Closed, this, [this, bridge] {
            --browsers_;
            bridge->deleteLater();
        });
    }
}
