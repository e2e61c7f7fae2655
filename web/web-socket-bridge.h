#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

#include "dep/QtComponent/media-socket/cmd-frame-buffer.h"

class QWebSocket;

// Relays one browser's WebSocket to the stream-protocol server on this
// computer, so the browser is an ordinary phone to it (one at a time, the
// same refusal, takeover, hold and commands):
// - a text message is one command body; it goes out framed on the command
//   connection, and every framed reply comes back as one text message;
// - binary messages are the stream connection's bytes (stream packets);
//   that connection is opened to the port the push-play reply names, and
//   the reply's key goes first as the token packet, as the app does;
// - the bridge's own notes to the page are text messages with a "web"
//   member: {"web":"key"} asks for a key frame (the stream has just begun).
// The WebSocket is closed with kCloseWrongSecret when its link secret is
// wrong, and closed plainly whenever either connection ends.
class WebSocketBridge : public QObject {
    Q_OBJECT

public:
    static constexpr int kCloseWrongSecret = 4001;
    static constexpr int kCloseRefused = 4002;
    // Bytes the stream may hold back before the browser is dropped: a
    // browser that outruns the desktop for that long is better restarted.
    static constexpr qint64 kMaxPendingBytes = 32 * 1024 * 1024;
    static constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;
    static constexpr int kFinishMs = 5000;

    // Takes `socket`. `secret` is the link secret the request must carry.
    WebSocketBridge(QWebSocket* socket, const QString& secret, quint16 commandPort,
                    QObject* parent);
    ~WebSocketBridge() override;

    // The "key" and "port" of a push-play reply; false for any other body.
    static bool ParsePushPlayReply(const QByteArray& body, QByteArray* key, quint16* port);
    // The token packet that opens a stream connection.
    static QByteArray TokenPacket(const QByteArray& key);

signals:
    // Both sides are closed; emitted once, never from the constructor.
    void sig_Closed();

private slots:
    void slot_Text(const QString& text);
    void slot_Binary(const QByteArray& data);
    void slot_CommandBytes();
    void slot_StreamConnected();
    void slot_Close();

private:
    void Refuse(int code, const QString& reason);
    void Finish();
    void OpenStream(quint16 port, const QByteArray& key);
    bool Backlogged() const;

    QWebSocket* socket_;
    QTcpSocket command_;
    QTcpSocket stream_;
    media_socket::CmdFrameBuffer frames_;
    QByteArray pendingStream_;  // binary bytes before the stream connection is up
    bool commandUp_ = false;
    bool replied_ = false;  // the command connection answered once
    bool closed_ = false;
    bool finished_ = false;
    QTimer finish_;
};
