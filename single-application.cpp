#include "single-application.h"

#include <QElapsedTimer>
#include <cstdlib>

#include "single-application-p.h"

namespace {

// A block whose checksum stays wrong this long belongs to a primary that
// died while writing it.
constexpr qint64 kInconsistentBlockMs = 5000;

}  // namespace

SingleApplication::SingleApplication(int& argc, char** argv, bool allowSecondary, Options options,
                                     int timeout)
    : QApplication(argc, argv), d_ptr(new SingleApplicationPrivate(this)) {
    Q_D(SingleApplication);
    d->options = options;
    d->genBlockName();
    SingleApplicationPrivate::randomSleep();

    d->memory = new QSharedMemory(d->blockName);
    if (d->memory->create(sizeof(InstanceBlock))) {
        if (!d->memory->lock())
            d->fatal("SingleApplication: Unable to lock memory block after create.");
        d->initializeMemoryBlock();
    } else if (d->memory->error() == QSharedMemory::AlreadyExists) {
        if (!d->memory->attach())
            d->fatal("SingleApplication: Unable to attach to shared memory block.");
        // Another program of this user could own a block of this name; never
        // read past the end of one that is too small to be ours.
        if (d->memory->size() < static_cast<int>(sizeof(InstanceBlock))) {
            d->fatal("SingleApplication: Shared memory block is too small.");
        }
        if (!d->memory->lock())
            d->fatal("SingleApplication: Unable to lock memory block after attach.");
    } else {
        d->fatal("SingleApplication: Unable to create block.");
    }

    QElapsedTimer time;
    time.start();
    while (InstanceBlockChecksum(*d->block()) != d->block()->checksum) {
        if (time.elapsed() > kInconsistentBlockMs) {
            qWarning(
                "SingleApplication: Shared memory block has been in an inconsistent state from "
                "more than 5s. Assuming primary instance failure.");
            d->initializeMemoryBlock();
        }
        if (!d->memory->unlock()) {
            qDebug() << "SingleApplication: Unable to unlock memory for random wait."
                     << d->memory->errorString();
        }
        SingleApplicationPrivate::randomSleep();
        if (!d->memory->lock())
            d->fatal("SingleApplication: Unable to lock memory after random wait.");
    }

    InstanceBlock* block = d->block();
    // On Linux the block outlives a primary that was killed or crashed, so a
    // recorded primary must still be running; otherwise the user could not
    // start the program again until the next reboot.
    if (block->primary && d->primaryIsGone()) {
        qWarning(
            "SingleApplication: the primary instance (pid %lld) is no longer running; this "
            "instance becomes the primary.",
            static_cast<long long>(block->primaryPid));
        block->primary = 0;
    }
    if (!block->primary) {
        d->startPrimary();
        if (!d->memory->unlock()) {
            qDebug() << "SingleApplication: Unable to unlock memory after primary start."
                     << d->memory->errorString();
        }
        return;
    }
    if (allowSecondary) {
        d->startSecondary();
        if (d->options & Mode::SecondaryNotification) {
            d->connectToPrimary(timeout, SingleApplicationPrivate::SecondaryInstance);
        }
        if (!d->memory->unlock()) {
            qDebug() << "SingleApplication: Unable to unlock memory after secondary start.";
        }
        return;
    }
    if (!d->memory->unlock()) {
        qDebug() << "SingleApplication: Unable to unlock memory at end of execution.";
    }
    d->connectToPrimary(timeout, SingleApplicationPrivate::NewInstance);
    delete d;
    d_ptr = nullptr;
    ::exit(EXIT_SUCCESS);
}

SingleApplication::~SingleApplication() {
    delete d_ptr;
    d_ptr = nullptr;
}

bool SingleApplication::isPrimary() const {
    Q_D(const SingleApplication);
    return d->server && d->server->isListening();
}

bool SingleApplication::isSecondary() const {
    return !isPrimary();
}

quint32 SingleApplication::instanceId() const {
    Q_D(const SingleApplication);
    return d->ownInstanceId;
}

bool SingleApplication::sendMessage(const QByteArray& message, int timeout) {
    Q_D(SingleApplication);
    if (isPrimary())
        return false;
    if (!d->connectToPrimary(timeout, SingleApplicationPrivate::Reconnect))
        return false;
    d->socket->write(message);
    // Nothing left to write also counts: the bytes may have gone out at once.
    const bool written = d->socket->waitForBytesWritten(timeout) || d->socket->bytesToWrite() == 0;
    d->socket->flush();
    return written;
}
