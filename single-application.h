#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFlags>

class SingleApplicationPrivate;

// A QApplication of which one process per user is the primary instance. A
// shared-memory block named from a hash of the application's identity records
// the primary; the primary listens on a local server of the same name, and
// later starts (secondary instances) talk to it over a local socket.
class SingleApplication : public QApplication {
    Q_OBJECT

public:
    enum Mode {
        User = 0x01,                   // one primary per user (the user name is hashed in)
        System = 0x02,                 // one primary per system
        SecondaryNotification = 0x04,  // the primary hears of every secondary start
        ExcludeAppVersion = 0x08,      // leave the version out of the block name
        ExcludeAppPath = 0x10,         // leave the executable path out of the block name
    };
    Q_DECLARE_FLAGS(Options, Mode)

    // With allowSecondary false a later start hands over to the primary and
    // ends the process with status 0 inside the constructor. `timeout` bounds
    // the connection to the primary (milliseconds).
    SingleApplication(int& argc, char** argv, bool allowSecondary = false,
                      Options options = Mode::User, int timeout = 1000);
    ~SingleApplication() override;

    // Primary exactly when this process owns the listening local server.
    bool isPrimary() const;
    bool isSecondary() const;
    // 0 in the primary; in a secondary, how many secondaries had started
    // (this one included) when it started.
    quint32 instanceId() const;

    // Sends raw bytes to the primary (secondary only). False in the primary
    // and when the primary cannot be reached or the bytes not written within
    // `timeout` milliseconds.
    bool sendMessage(const QByteArray& message, int timeout = 100);

signals:
    // In the primary: a new instance started (types "new instance", or
    // "secondary" with SecondaryNotification).
    void instanceStarted();
    // In the primary: bytes from a connected instance.
    void receivedMessage(quint32 instanceId, QByteArray message);

private:
    SingleApplicationPrivate* d_ptr;
    Q_DECLARE_PRIVATE(SingleApplication)
    friend class SingleApplicationPrivate;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SingleApplication::Options)
