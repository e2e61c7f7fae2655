#include "cordlink/adb-process-impl.h"

#include <QDebug>

#include "cordlink/adb-program.h"

namespace {

// A device list or mapping list is a few hundred bytes; anything near this is
// a runaway program, and memory must not grow with it until the time-out.
constexpr int kMaxCollectedBytes = 1 << 20;

}  // namespace

AdbProcessImpl::AdbProcessImpl() {
    connect(this, &QProcess::started, this,
            [this] { emit adbProcessImplResult(AdbProcess::AER_STARTED); });
    connect(this, &QProcess::readyReadStandardOutput, this, &AdbProcessImpl::onStandardOutput);
    connect(this, &QProcess::readyReadStandardError, this, &AdbProcessImpl::onStandardError);
    connect(this, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &AdbProcessImpl::onFinished);
    connect(this, &QProcess::errorOccurred, this, &AdbProcessImpl::onError);
}

void AdbProcessImpl::run(const QString& serial, const QStringList& arguments) {
    output_.clear();
    error_.clear();
    QStringList args;
    if (!serial.isEmpty())
        args << QStringLiteral("-s") << serial;
    args << arguments;
    const QString program = zu::AdbProgramPath();
    qDebug().noquote() << program << args.join(QLatin1Char(' '));
    start(program, args, QIODevice::ReadWrite);
}

QString AdbProcessImpl::collectedOutput() const {
    return QString::fromUtf8(output_).trimmed();
}

QString AdbProcessImpl::collectedError() const {
    return QString::fromUtf8(error_).trimmed();
}

void AdbProcessImpl::stop(int waitMs) {
    if (state() == QProcess::NotRunning)
        return;
    kill();
    if (waitForFinished(waitMs))
        return;
    qCritical().noquote() << QStringLiteral("adb could not be ended: %1 %2")
                                 .arg(program(), arguments().join(QLatin1Char(' ')));
    emit adbProcessImplResult(AdbProcess::AER_ERROR_PROCESS);
}

QString AdbProcessImpl::Chunk(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).trimmed();
}

void AdbProcessImpl::Collect(QByteArray& into, const QByteArray& chunk) {
    const int room = kMaxCollectedBytes - into.size();
    if (room > 0)
        into.append(chunk.left(room));
}

void AdbProcessImpl::onStandardOutput() {
    const QByteArray chunk = readAllStandardOutput();
    Collect(output_, chunk);
    qInfo().noquote() << QStringLiteral("AdbProcessImpl::out:%1").arg(Chunk(chunk));
}

void AdbProcessImpl::onStandardError() {
    const QByteArray chunk = readAllStandardError();
    Collect(error_, chunk);
    qWarning().noquote() << QStringLiteral("AdbProcessImpl::error:%1").arg(Chunk(chunk));
}

void AdbProcessImpl::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    qDebug().noquote() << QStringLiteral("adb return %1 exit status %2")
                              .arg(exitCode)
                              .arg(exitStatus == QProcess::NormalExit ? "NormalExit" : "CrashExit");
    const bool failed = exitCode != 0 || exitStatus == QProcess::CrashExit;
    emit adbProcessImplResult(failed ? AdbProcess::AER_ERROR_EXEC : AdbProcess::AER_SUCCESS);
}

void AdbProcessImpl::onError(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
        emit adbProcessImplResult(AdbProcess::AER_NOT_FOUND);
        return;
    }
    qCritical().noquote() << QStringLiteral("qprocess start error:%1 %2")
                                 .arg(program(), arguments().join(QLatin1Char(' ')));
    emit adbProcessImplResult(AdbProcess::AER_ERROR_PROCESS);
}
