#pragma once

#include <QHash>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <string>

class QSslSocket;
class QWebSocketServer;
class WebTcpListener;

// Serves the phone page and its WebSocket on one TCP port: HTTPS for
// everyone, plain HTTP from this computer too (adb reverse). Each WebSocket
// with the right link secret is bridged to the stream-protocol server on
// `commandPort`. Lives on the thread that starts it (the GUI or main thread).
class WebPhoneServer : public QObject {
    Q_OBJECT

public:
    // Connections still reading their request head; more are turned away.
    static constexpr int kMaxPendingConnections = 64;
    // The same, from any one address: one host cannot take every place.
    static constexpr int kMaxPendingPerAddress = 16;
    static constexpr int kMaxBrowsers = 8;
    // Answers a browser leaves unread (pongs, command replies) before it is
    // dropped; a page that reads them never comes near.
    static constexpr qint64 kMaxUnsentBytes = 4 * 1024 * 1024;

    explicit WebPhoneServer(QObject* parent = nullptr);
    ~WebPhoneServer() override;

    // PEM texts of the certificate and key; without them only plain HTTP
    // from this computer is served.
    bool SetCertificate(const std::string& certPem, const std::string& keyPem);
    void SetSecret(const QString& secret) { secret_ = secret; }
    // Listens on every address at `port` (0: any free port).
    bool Start(quint16 port, quint16 commandPort);
    quint16 Port() const;
    int PendingConnections() const { return pending_; }

private slots:
    void slot_Accepted(QSslSocket* socket);
    void slot_WebSocket(QSslSocket* socket);
    void slot_NewBrowser();

private:
    std::unique_ptr<WebTcpListener> listener_;
    QWebSocketServer* webSockets_ = nullptr;
    QSslConfiguration tls_;
    QString secret_;
    quint16 commandPort_ = 0;
    int pending_ = 0;
    QHash<QString, int> pendingByAddress_;
    int browsers_ = 0;
};
