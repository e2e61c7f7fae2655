#include "web/web-tcp-listener.h"

#include <QSslSocket>

void WebTcpListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    emit sig_Accepted(socket);
}
