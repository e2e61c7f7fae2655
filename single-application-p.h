#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QObject>
#include <QSharedMemory>
#include <QString>
#include <cstddef>

#include "single-application.h"

// The shared-memory record of the primary, 152 bytes, native (little-endian)
// layout. Other processes of the same user read and write it under the
// memory's lock, so its layout never changes.
struct InstanceBlock {
    quint8 primary;  // 1 while a primary runs
    quint8 padding1[3];
    quint32 secondary;      // secondary instances started so far
    qint64 primaryPid;      // -1 when none
    char primaryUser[128];  // UTF-8, NUL-terminated
    quint16 checksum;       // qChecksum of bytes 0..143
    quint8 padding2[6];
};
static_assert(sizeof(InstanceBlock) == 152, "the instance block is 152 bytes");
static_assert(offsetof(InstanceBlock, secondary) == 4, "instance block layout");
static_assert(offsetof(InstanceBlock, primaryPid) == 8, "instance block layout");
static_assert(offsetof(InstanceBlock, primaryUser) == 16, "instance block layout");
static_assert(offsetof(InstanceBlock, checksum) == 144, "instance block layout");

// The X.25 CRC-16 over the block's first 144 bytes.
quint16 InstanceBlockChecksum(const InstanceBlock& block);

// What the block name is hashed from.
struct BlockNameParts {
    QString applicationName;
    QString organizationName;
    QString organizationDomain;
    QString applicationVersion;
    QString applicationFilePath;
    QString userName;
};

// Base64 of SHA-256 over "SingleApplication", the application name, the
// organisation name and domain, the version (unless ExcludeAppVersion), the
// lower-cased executable path (unless ExcludeAppPath) and the user name (with
// User), all UTF-8; "/" is replaced by "_" so it can name a file.
QString MakeBlockName(const BlockNameParts& parts, SingleApplication::Options options);

// Per accepted client in the primary.
struct PeerState {
    quint64 expectedLength = 0;
    quint32 instanceId = 0;
    quint8 stage = 0;  // ConnectionStage
};

class SingleApplicationPrivate : public QObject {
    Q_OBJECT

public:
    enum ConnectionType : quint8 {
        InvalidConnection = 0,
        NewInstance = 1,
        SecondaryInstance = 2,
        Reconnect = 3,
    };
    enum ConnectionStage : quint8 {
        StageHeader = 0,
        StageBody = 1,
        StageConnected = 2,
        StageRejected = 3,  // failed the init check; its bytes are dropped
    };
    // A valid init message is about 60 bytes; a claimed length beyond this
    // is a hostile or broken client, not a reason to buffer without end.
    static constexpr quint64 kMaxInitMessage = 4096;

    explicit SingleApplicationPrivate(SingleApplication* q);
    ~SingleApplicationPrivate() override;

    static QString userName();
    static void randomSleep();
    static QByteArray initMessage(const QString& blockName, ConnectionType type,
                                  quint32 instanceId);

    void genBlockName();
    InstanceBlock* block() const;
    void initializeMemoryBlock();
    void startPrimary();
    void startSecondary();
    bool primaryIsGone() const;
    bool connectToPrimary(int timeout, ConnectionType type);
    void resetBlockIfOurs();
    [[noreturn]] void fatal(const char* what);

    SingleApplication* q_ptr;
    QSharedMemory* memory = nullptr;
    QLocalSocket* socket = nullptr;
    QLocalServer* server = nullptr;
    quint32 ownInstanceId = 0;
    QString blockName;
    SingleApplication::Options options;
    QMap<QLocalSocket*, PeerState> peers;

public slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* sock, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* sock, quint32 instanceId);

private:
    void processPeer(QLocalSocket* sock, bool closing);
    bool readHeader(QLocalSocket* sock, PeerState* state);
    bool readBody(QLocalSocket* sock, PeerState* state, ConnectionType* type);

    Q_DECLARE_PUBLIC(SingleApplication)
};
