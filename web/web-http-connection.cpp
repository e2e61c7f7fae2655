#include "web/web-http-connection.h"

#include <QFile>
#include <QHostAddress>
#include <QSslKey>
#include <QSslSocket>

#include "web/http-request.h"

namespace {

constexpr char kTlsHandshake = 0x16;

QByteArray Response(const char* status, const QByteArray& type, const QByteArray& body,
                    const QByteArray& extra = {}) {
    QByteArray r = QByteArray("HTTP/1.1 ") + status + "\r\n";
    r += "Content-Type: " + type + "\r\n";
    r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    // Nothing of the page may come from anywhere else, and nothing is cached:
    // a renewed link or a new version must take effect at the next load.
    r += "Cache-Control: no-store\r\n"
         "X-Content-Type-Options: nosniff\r\n"
         "Referrer-Policy: no-referrer\r\n"
         "Content-Security-Policy: default-src 'self'; connect-src 'self' ws: wss:; "
         "img-src 'self' data:; style-src 'self' 'unsafe-inline'\r\n"
         "Connection: close\r\n";
    r += extra;
    r += "\r\n";
    return r + body;
}

QByteArray Plain(const char* status, const char* text) {
    return Response(status, "text/plain; charset=utf-8", QByteArray(text) + "\n");
}

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};

constexpr PageFile kFiles[] = {
    {"/", ":/web/page/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/page/index.html", "text/html; charset=utf-8"},
    {"/zucam-phone.js", ":/web/page/zucam-phone.js", "text/javascript; charset=utf-8"},
    {"/pcm-worklet.js", ":/web/page/pcm-worklet.js", "text/javascript; charset=utf-8"},
};

}  // namespace

// The page lives in a static library, whose resources are only there once
// registered by hand.
static void InitPageResources() {
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(web_page);
        done = true;
    }
}

WebHttpConnection::WebHttpConnection(QSslSocket* socket, const QSslConfiguration& tls,
                                     QObject* parent)
    : QObject(parent), socket_(socket), tls_(tls) {
    socket_->setParent(this);
    connect(socket_, &QSslSocket::readyRead, this, &WebHttpConnection::slot_ReadyRead);
    connect(socket_, &QSslSocket::encrypted, this, &WebHttpConnection::slot_ReadyRead);
    connect(socket_, &QSslSocket::disconnected, this, &WebHttpConnection::slot_Close);
    connect(socket_, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this,
            &WebHttpConnection::slot_Close);
    connect(socket_, &QAbstractSocket::errorOccurred, this, &WebHttpConnection::slot_Close);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &WebHttpConnection::slot_Close);
    deadline_.start(kHeadDeadlineMs);
    if (socket_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, "slot_ReadyRead", Qt::QueuedConnection);
}

WebHttpConnection::~WebHttpConnection() = default;

bool WebHttpConnection::FromLoopback() const {
    return socket_->peerAddress().isLoopback();
}

void WebHttpConnection::slot_ReadyRead() {
    if (done_)
        return;
    if (!sniffed_) {
        Sniff();
        return;
    }
    if (socket_->isEncrypted() || socket_->mode() == QSslSocket::UnencryptedMode)
        TakeHead();
}

// The first byte tells TLS from plain HTTP, so one port serves both.
void WebHttpConnection::Sniff() {
    char first = 0;
    if (socket_->peek(&first, 1) != 1)
        return;
    sniffed_ = true;
    if (first == kTlsHandshake) {
        if (tls_.privateKey().isNull()) {
            slot_Close();
            return;
        }
        socket_->setSslConfiguration(tls_);
        socket_->startServerEncryption();
        return;
    }
    TakeHead();
}

void WebHttpConnection::TakeHead() {
    const qint64 want = static_cast<qint64>(HttpRequest::kMaxHeadBytes);
    const QByteArray bytes = socket_->peek(want);
    HttpRequest request;
    switch (request.Parse(bytes.constData(), static_cast<size_t>(bytes.size()))) {
        case HttpRequest::Result::kIncomplete:
            return;
        case HttpRequest::Result::kTooLarge:
            Reply(Plain("431 Request Header Fields Too Large", "request head too large"));
            return;
        case HttpRequest::Result::kMalformed:
            Reply(Plain("400 Bad Request", "bad request"));
            return;
        case HttpRequest::Result::kComplete:
            break;
    }
    if (!socket_->isEncrypted() && !FromLoopback()) {
        // The camera needs a secure context, which plain HTTP only is on
        // this computer itself: send everyone else to the HTTPS page.
        const QByteArray host = QByteArray::fromStdString(request.Field("host"));
        if (host.isEmpty() || host.contains('/') || host.contains('\\')) {
            Reply(Plain("400 Bad Request", "bad request"));
            return;
        }
        Reply(Response(
            "301 Moved Permanently", "text/plain; charset=utf-8", "use https\n",
            "Location: https://" + host + QByteArray::fromStdString(request.Target()) + "\r\n"));
        return;
    }
    if (request.Path() == "/ws" && request.IsWebSocketUpgrade()) {
        done_ = true;
        deadline_.stop();
        socket_->disconnect(this);
        socket_->setParent(nullptr);
        QSslSocket* socket = socket_;
        socket_ = nullptr;
        emit sig_WebSocket(socket);
        emit sig_Done();
        return;
    }
    Reply(Answer(QByteArray::fromStdString(request.Method()),
                 QByteArray::fromStdString(request.Path())));
}

QByteArray WebHttpConnection::Answer(const QByteArray& method, const QByteArray& path) {
    InitPageResources();
    if (method != "GET" && method != "HEAD")
        return Plain("405 Method Not Allowed", "only GET");
    for (const PageFile& f : kFiles) {
        if (path != f.path)
            continue;
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly))
            return Plain("500 Internal Server Error", "the page is missing from this build");
        QByteArray r = Response("200 OK", f.type, file.readAll());
        if (method == "HEAD")
            r.truncate(r.indexOf("\r\n\r\n") + 4);
        return r;
    }
    return Plain("404 Not Found", "not found");
}

void WebHttpConnection::Reply(const QByteArray& response) {
    done_ = true;
    deadline_.stop();
    socket_->write(response);
    // Closed once written: one request per connection keeps this small.
    connect(socket_, &QSslSocket::bytesWritten, this, [this] {
        if (socket_ && socket_->bytesToWrite() == 0 && socket_->encryptedBytesToWrite() == 0)
            socket_->disconnectFromHost();
    });
    deadline_.start(kHeadDeadlineMs);
    disconnect(&deadline_, nullptr, nullptr, nullptr);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (socket_)
            socket_->abort();
        emit sig_Done();
    });
}

void WebHttpConnection::slot_Close() {
    if (closed_)
        return;
    closed_ = true;
    if (socket_)
        socket_->abort();
    deadline_.stop();
    emit sig_Done();
}
