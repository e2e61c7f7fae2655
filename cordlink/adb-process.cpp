#include "cordlink/adb-process.h"

#include <QCoreApplication>

#include "cordlink/adb-process-impl.h"

namespace {

// A SIGKILLed adb is reaped in milliseconds; this bound only matters for a
// process stuck in the kernel, which must not hang the caller either.
constexpr int kStopWaitMs = 2000;

}  // namespace

void AdbProcess::DeleteLater::operator()(AdbProcessImpl* impl) const {
    if (impl)
        impl->deleteLater();
}

AdbProcess::AdbProcess(QObject* parent) : QObject(parent), impl_(new AdbProcessImpl) {
    connect(impl_.get(), &AdbProcessImpl::adbProcessImplResult, this,
            &AdbProcess::adbProcessResult);
}

AdbProcess::~AdbProcess() {
    // The owner is going away: a process killed now reports to nobody.
    impl_->disconnect(this);
    close();
}

void AdbProcess::run(const QString& serial, const QStringList& arguments) {
    impl_->run(serial, arguments);
}

void AdbProcess::reverse(const QString& serial, int remotePort, int localPort) {
    run(serial, {QStringLiteral("reverse"), QStringLiteral("tcp:%1").arg(remotePort),
                 QStringLiteral("tcp:%1").arg(localPort)});
}

void AdbProcess::removeReverse(const QString& serial) {
    run(serial, {QStringLiteral("reverse"), QStringLiteral("--remove-all")});
}

QString AdbProcess::standardOutput() const {
    return impl_->collectedOutput();
}

QStringList AdbProcess::arguments() const {
    return impl_->arguments();
}

bool AdbProcess::isRunning() const {
    return impl_->state() != QProcess::NotRunning;
}

void AdbProcess::close() {
    impl_->stop(kStopWaitMs);
    // QProcess::close() waits without limit for a running process; only a
    // reaped one is closed here.
    if (impl_->state() == QProcess::NotRunning)
        impl_->close();
}
