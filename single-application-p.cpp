#include "single-application-p.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/process-state.h"

quint16 InstanceBlockChecksum(const InstanceBlock& block) {
    return qChecksum(reinterpret_cast<const char*>(&block), offsetof(InstanceBlock, checksum));
}

QString MakeBlockName(const BlockNameParts& parts, SingleApplication::Options options) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("SingleApplication", 17);
    hash.addData(parts.applicationName.toUtf8());
    hash.addData(parts.organizationName.toUtf8());
    hash.addData(parts.organizationDomain.toUtf8());
    if (!(options & SingleApplication::ExcludeAppVersion)) {
        hash.addData(parts.applicationVersion.toUtf8());
    }
    if (!(options & SingleApplication::ExcludeAppPath)) {
        hash.addData(parts.applicationFilePath.toLower().toUtf8());
    }
    if (options & SingleApplication::User)
        hash.addData(parts.userName.toUtf8());
    return QString::fromLatin1(hash.result().toBase64().replace('/', '_'));
}

namespace {

int Remaining(int timeout, const QElapsedTimer& time) {
    const qint64 left = timeout - time.elapsed();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* q) : q_ptr(q) {}

SingleApplicationPrivate::~SingleApplicationPrivate() {
    if (socket) {
        socket->close();
        delete socket;
        socket = nullptr;
    }
    if (!memory)
        return;
    memory->lock();
    if (server) {
        // Closing the clients must not reach the application object, which is
        // already half destroyed.
        server->disconnect(this);
        for (QLocalSocket* sock : peers.keys())
            sock->disconnect(this);
        peers.clear();
        server->close();
        delete server;
        server = nullptr;
        resetBlockIfOurs();
    }
    memory->unlock();
    delete memory;
    memory = nullptr;
}

QString SingleApplicationPrivate::userName() {
    return QString::fromStdString(platform::UserName());
}

void SingleApplicationPrivate::randomSleep() {
    // 8 to 18 ms, spreading out processes that start at the same moment.
    const quint32 r = QRandomGenerator::global()->bounded(32768);
    QThread::msleep(8 + 10 * r / 32767);
}

void SingleApplicationPrivate::genBlockName() {
    BlockNameParts parts;
    parts.applicationName = QCoreApplication::applicationName();
    parts.organizationName = QCoreApplication::organizationName();
    parts.organizationDomain = QCoreApplication::organizationDomain();
    parts.applicationVersion = QCoreApplication::applicationVersion();
    parts.applicationFilePath = QCoreApplication::applicationFilePath();
    parts.userName = userName();
    blockName = MakeBlockName(parts, options);
}

InstanceBlock* SingleApplicationPrivate::block() const {
    return static_cast<InstanceBlock*>(memory->data());
}

void SingleApplicationPrivate::initializeMemoryBlock() {
    InstanceBlock* b = block();
    std::memset(b, 0, sizeof(InstanceBlock));
    b->primaryPid = -1;
    b->checksum = InstanceBlockChecksum(*b);
}

void SingleApplicationPrivate::startPrimary() {
    InstanceBlock* b = block();
    b->primary = 1;
    b->primaryPid = QCoreApplication::applicationPid();
    const QByteArray user = userName().toUtf8().left(sizeof(b->primaryUser) - 1);
    std::memset(b->primaryUser, 0, sizeof(b->primaryUser));
    std::memcpy(b->primaryUser, user.constData(), static_cast<size_t>(user.size()));
    b->checksum = InstanceBlockChecksum(*b);
    ownInstanceId = 0;

    // A primary that died leaves its socket file behind.
    QLocalServer::removeServer(blockName);
    server = new QLocalServer();
    server->setSocketOptions((options & SingleApplication::User) ? QLocalServer::UserAccessOption
                                                                 : QLocalServer::WorldAccessOption);
    if (!server->listen(blockName)) {
        qWarning() << "SingleApplication: cannot listen for other instances:"
                   << server->errorString();
    }
    connect(server, &QLocalServer::newConnection, this,
            &SingleApplicationPrivate::slotConnectionEstablished);
}

void SingleApplicationPrivate::startSecondary() {
    InstanceBlock* b = block();
    b->secondary += 1;
    b->checksum = InstanceBlockChecksum(*b);
    ownInstanceId = b->secondary;
}

bool SingleApplicationPrivate::primaryIsGone() const {
    const qint64 pid = block()->primaryPid;
    // Our own id can only be recorded by an earlier process that had it.
    if (pid <= 0 || pid == QCoreApplication::applicationPid())
        return true;
    return !platform::ProcessRunning(static_cast<long>(pid));
}

void SingleApplicationPrivate::resetBlockIfOurs() {
    InstanceBlock* b = block();
    // A later start may have taken over (a block that stayed inconsistent);
    // its record is not ours to clear.
    if (b->primaryPid != QCoreApplication::applicationPid())
        return;
    b->primary = 0;
    b->primaryPid = -1;
    std::memset(b->primaryUser, 0, sizeof(b->primaryUser));
    b->checksum = InstanceBlockChecksum(*b);
}

void SingleApplicationPrivate::fatal(const char* what) {
    qCritical("%s", what);
    qCritical() << "SingleApplication: " << memory->error() << memory->errorString();
    q_ptr->d_ptr = nullptr;
    delete this;
    ::exit(EXIT_FAILURE);
}

QByteArray SingleApplicationPrivate::initMessage(const QString& name, ConnectionType type,
                                                 quint32 instanceId) {
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_6);
    stream << name.toLatin1();
    stream << static_cast<quint8>(type);
    stream << instanceId;
    stream << qChecksum(message.constData(), static_cast<uint>(message.size()));
    return message;
}

bool SingleApplicationPrivate::connectToPrimary(int timeout, ConnectionType type) {
    QElapsedTimer time;
    time.start();
    if (!socket)
        socket = new QLocalSocket();
    if (socket->state() == QLocalSocket::ConnectedState)
        return true;
    for (;;) {
        randomSleep();
        if (socket->state() != QLocalSocket::ConnectingState)
            socket->connectToServer(blockName);
        if (socket->state() == QLocalSocket::ConnectingState) {
            socket->waitForConnected(Remaining(timeout, time));
        }
        if (socket->state() == QLocalSocket::ConnectedState)
            break;
        if (time.elapsed() >= timeout)
            return false;
    }
    const QByteArray init = initMessage(blockName, type, ownInstanceId);
    QByteArray header;
    QDataStream headerStream(&header, QIODevice::WriteOnly);
    headerStream.setVersion(QDataStream::Qt_5_6);
    headerStream << static_cast<quint64>(init.size());
    socket->write(header);
    socket->write(init);
    const bool written =
        socket->waitForBytesWritten(Remaining(timeout, time)) || socket->bytesToWrite() == 0;
    socket->flush();
    return written;
}

void SingleApplicationPrivate::slotConnectionEstablished() {
    while (server && server->hasPendingConnections()) {
        QLocalSocket* sock = server->nextPendingConnection();
        if (!sock)
            break;
        peers.insert(sock, PeerState());
        connect(sock, &QLocalSocket::aboutToClose, this,
                [this, sock] { slotClientConnectionClosed(sock, peers.value(sock).instanceId); });
        connect(sock, &QLocalSocket::disconnected, this, [this, sock] {
            peers.remove(sock);
            sock->deleteLater();
        });
        connect(sock, &QLocalSocket::readyRead, this,
                [this, sock] { slotDataAvailable(sock, peers.value(sock).instanceId); });
        if (sock->bytesAvailable() > 0)
            processPeer(sock, false);
    }
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* sock, quint32 instanceId) {
    Q_UNUSED(instanceId);
    processPeer(sock, false);
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* sock, quint32 instanceId) {
    Q_UNUSED(instanceId);
    // Whatever is still buffered goes through the same checks: the rest of a
    // connected instance's message is delivered, a client that never proved
    // who it is gets nothing through.
    processPeer(sock, true);
}

// The header: the init message's length as unsigned 64-bit, big-endian.
bool SingleApplicationPrivate::readHeader(QLocalSocket* sock, PeerState* state) {
    QByteArray bytes = sock->read(8);
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_5_6);
    quint64 length = 0;
    stream >> length;
    if (stream.status() != QDataStream::Ok || length == 0 || length > kMaxInitMessage) {
        return false;
    }
    state->expectedLength = length;
    state->stage = StageBody;
    return true;
}

// The init message: the block name (Latin-1, as a length-prefixed byte
// array), the connection type, the instance number and a checksum of
// everything before it.
bool SingleApplicationPrivate::readBody(QLocalSocket* sock, PeerState* state,
                                        ConnectionType* type) {
    const QByteArray message = sock->read(static_cast<qint64>(state->expectedLength));
    if (message.size() < 2)
        return false;
    QDataStream stream(message);
    stream.setVersion(QDataStream::Qt_5_6);
    QByteArray name;
    quint8 typeValue = InvalidConnection;
    quint32 instanceId = 0;
    quint16 checksum = 0;
    stream >> name >> typeValue >> instanceId >> checksum;
    const quint16 actual = qChecksum(message.constData(), static_cast<uint>(message.size() - 2));
    const bool valid = stream.status() == QDataStream::Ok && QLatin1String(name) == blockName &&
                       checksum == actual;
    if (!valid)
        return false;
    *type = static_cast<ConnectionType>(typeValue);
    state->instanceId = instanceId;
    state->stage = StageConnected;
    return true;
}

void SingleApplicationPrivate::processPeer(QLocalSocket* sock, bool closing) {
    Q_Q(SingleApplication);
    auto it = peers.find(sock);
    if (it == peers.end())
        return;
    PeerState& state = it.value();
    bool rejected = false;
    if (state.stage == StageHeader && sock->bytesAvailable() >= 8) {
        rejected = !readHeader(sock, &state);
    }
    ConnectionType type = InvalidConnection;
    bool justConnected = false;
    if (!rejected && state.stage == StageBody &&
        sock->bytesAvailable() >= static_cast<qint64>(state.expectedLength)) {
        rejected = !readBody(sock, &state, &type);
        justConnected = !rejected;
    }
    if (rejected || state.stage == StageRejected) {
        state.stage = StageRejected;
        sock->readAll();
        // Inside aboutToClose the socket is closing already.
        if (!closing)
            sock->close();
        return;
    }
    if (state.stage != StageConnected)
        return;
    // Slots connected to these signals may close the socket, which removes
    // `state` from the map: nothing below reads it after an emit.
    const quint32 instanceId = state.instanceId;
    if (justConnected &&
        (type == NewInstance ||
         (type == SecondaryInstance && (options & SingleApplication::SecondaryNotification)))) {
        emit q->instanceStarted();
    }
    if (peers.contains(sock) && sock->bytesAvailable() > 0) {
        emit q->receivedMessage(instanceId, sock->readAll());
    }
}
