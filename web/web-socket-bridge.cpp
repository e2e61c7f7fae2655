#include "web/web-socket-bridge.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QWebSocket>
#include <QtEndian>

#include "hublet/log-sink.h"
#include "web/web-link.h"

namespace {

QByteArray BigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, reinterpret_cast<uchar*>(bytes.data()));
    return bytes;
}

}  // namespace

WebSocketBridge::WebSocketBridge(QWebSocket* socket, const QString& secret, quint16 commandPort,
                                 QObject* parent)
    : QObject(parent), socket_(socket) {
    socket_->setParent(this);
    socket_->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    socket_->setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
    connect(socket_, &QWebSocket::disconnected, this, [this] {
        slot_Close();
        Finish();
    });
    // A browser that never answers the close is let go after a while.
    finish_.setSingleShot(true);
    connect(&finish_, &QTimer::timeout, this, &WebSocketBridge::Finish);
    const std::string given =
        QUrlQuery(socket_->requestUrl()).queryItemValue(QStringLiteral("k")).toStdString();
    if (!WebLink::SecretsEqual(given, secret.toStdString())) {
        BG_LOGW("browser phone refused: its link is out of date");
        // Not from here: a close that completes at once ends the bridge, and
        // its end must reach the server, which listens only once this returns.
        QMetaObject::invokeMethod(
            this, [this] { Refuse(kCloseWrongSecret, QStringLiteral("link out of date")); },
            Qt::QueuedConnection);
        return;
    }
    connect(socket_, &QWebSocket::textMessageReceived, this, &WebSocketBridge::slot_Text);
    connect(socket_, &QWebSocket::binaryMessageReceived, this, &WebSocketBridge::slot_Binary);
    connect(&command_, &QTcpSocket::connected, this, [this] { commandUp_ = true; });
    connect(&command_, &QTcpSocket::readyRead, this, &WebSocketBridge::slot_CommandBytes);
    connect(&command_, &QTcpSocket::disconnected, this, &WebSocketBridge::slot_Close);
    connect(&command_, &QAbstractSocket::errorOccurred, this, &WebSocketBridge::slot_Close);
    connect(&stream_, &QTcpSocket::connected, this, &WebSocketBridge::slot_StreamConnected);
    connect(&stream_, &QTcpSocket::disconnected, this, &WebSocketBridge::slot_Close);
    connect(&stream_, &QAbstractSocket::errorOccurred, this, &WebSocketBridge::slot_Close);
    command_.connectToHost(QHostAddress(QHostAddress::LocalHost), commandPort);
    BG_LOGI("browser phone from %s", socket_->peerAddress().toString().toUtf8().constData());
}

WebSocketBridge::~WebSocketBridge() {
    command_.disconnect(this);
    stream_.disconnect(this);
    if (socket_)
        socket_->disconnect(this);
}

void WebSocketBridge::Refuse(int code, const QString& reason) {
    closed_ = true;
    socket_->close(static_cast<QWebSocketProtocol::CloseCode>(code), reason);
    finish_.start(kFinishMs);
}

void WebSocketBridge::Finish() {
    if (finished_)
        return;
    finished_ = true;
    finish_.stop();
    emit sig_Closed();
}

void WebSocketBridge::slot_Text(const QString& text) {
    const QByteArray body = text.toUtf8();
    // The server takes bodies up to 4092 bytes; anything longer ends the link there anyway.
    if (closed_ || body.isEmpty() || body.size() > media_socket::CmdFrameBuffer::kCapacity - 4) {
        slot_Close();
        return;
    }
    command_.write(BigEndian(static_cast<quint32>(body.size())) + body);
}

bool WebSocketBridge::Backlogged() const {
    return pendingStream_.size() + stream_.bytesToWrite() > kMaxPendingBytes;
}

void WebSocketBridge::slot_Binary(const QByteArray& data) {
    if (closed_)
        return;
    if (stream_.state() == QAbstractSocket::ConnectedState && pendingStream_.isEmpty())
        stream_.write(data);
    else
        pendingStream_ += data;
    if (Backlogged()) {
        BG_LOGW("browser phone dropped: the desktop cannot take its stream fast enough");
        slot_Close();
    }
}

void WebSocketBridge::slot_CommandBytes() {
    while (!closed_ && command_.bytesAvailable() > 0) {
        char buffer[4096];
        const qint64 n = command_.read(buffer, sizeof buffer);
        if (n <= 0)
            return;
        auto status =
            frames_.Feed(buffer, static_cast<int>(n), [this](const char* body, size_t len) {
                const QByteArray reply(body, static_cast<int>(len));
                replied_ = true;
                QByteArray key;
                quint16 port = 0;
                if (ParsePushPlayReply(reply, &key, &port))
                    OpenStream(port, key);
                socket_->sendTextMessage(QString::fromUtf8(reply));
                return true;
            });
        if (status != media_socket::CmdFrameBuffer::Status::kOk) {
            slot_Close();
            return;
        }
    }
}

bool WebSocketBridge::ParsePushPlayReply(const QByteArray& body, QByteArray* key, quint16* port) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject root = doc.object();
    const QJsonObject data = root.value(QStringLiteral("data")).toObject();
    const QJsonValue k = data.value(QStringLiteral("key"));
    const int p = data.value(QStringLiteral("port")).toInt(0);
    if (root.value(QStringLiteral("type")).toInt(-1) != 0 || !k.isString() || p <= 0 || p > 65535)
        return false;
    *key = k.toString().toUtf8();
    *port = static_cast<quint16>(p);
    return true;
}

QByteArray WebSocketBridge::TokenPacket(const QByteArray& key) {
    // Type 0, no header expansion, the key as payload.
    return BigEndian(0) + BigEndian(0) + BigEndian(static_cast<quint32>(key.size())) + key;
}

void WebSocketBridge::OpenStream(quint16 port, const QByteArray& key) {
    // A second push-play gets a new key and (usually) the same port: the
    // stream starts over on a fresh connection, as the app's does.
    stream_.disconnect(this);
    stream_.abort();
    pendingStream_ = TokenPacket(key);
    connect(&stream_, &QTcpSocket::connected, this, &WebSocketBridge::slot_StreamConnected);
    connect(&stream_, &QTcpSocket::disconnected, this, &WebSocketBridge::slot_Close);
    connect(&stream_, &QAbstractSocket::errorOccurred, this, &WebSocketBridge::slot_Close);
    stream_.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
}

void WebSocketBridge::slot_StreamConnected() {
    stream_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    stream_.write(pendingStream_);
    pendingStream_.clear();
    if (socket_)
        socket_->sendTextMessage(QStringLiteral("{\"web\":\"key\"}"));
}

void WebSocketBridge::slot_Close() {
    if (closed_)
        return;
    closed_ = true;
    // Closed before any reply: the server turned this phone away (another
    // one holds the camera).
    if (!replied_ && commandUp_ && socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->close(static_cast<QWebSocketProtocol::CloseCode>(kCloseRefused),
                       QStringLiteral("another phone is connected"));
    } else {
        socket_->close();
    }
    command_.abort();
    stream_.abort();
    finish_.start(kFinishMs);
}
