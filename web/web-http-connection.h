#pragma once

#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

class QSslSocket;

// One browser connection to the phone page until its request head is read:
// TLS (or, from this computer only, plain HTTP), then either a file of the
// page is answered, or a WebSocket upgrade is handed on with its bytes still
// unread. Every byte is bounded; a peer that sends nothing useful is dropped.
class WebHttpConnection : public QObject {
    Q_OBJECT

public:
    static constexpr int kHeadDeadlineMs = 15000;

    // Takes `socket` (already connected); `tls` is copied.
    WebHttpConnection(QSslSocket* socket, const QSslConfiguration& tls, QObject* parent);
    ~WebHttpConnection() override;

    // Status line and body for a request path; the page's files, else 404.
    static QByteArray Answer(const QByteArray& method, const QByteArray& path);

signals:
    // A WebSocket upgrade: the socket is no longer this object's, and its
    // request head is still in its read buffer.
    void sig_WebSocket(QSslSocket* socket);
    void sig_Done();

private slots:
    void slot_ReadyRead();
    void slot_Close();

private:
    void Sniff();
    void TakeHead();
    void Reply(const QByteArray& response);
    bool FromLoopback() const;

    QSslSocket* socket_;
    QSslConfiguration tls_;
    QTimer deadline_;
    bool sniffed_ = false;
    bool done_ = false;
    bool closed_ = false;
};
