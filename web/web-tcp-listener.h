#pragma once

#include <QTcpServer>

class QSslSocket;

// A listening socket whose connections arrive as QSslSocket, so that each
// may turn to TLS once its first byte is seen.
class WebTcpListener : public QTcpServer {
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;

signals:
    void sig_Accepted(QSslSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;
};
