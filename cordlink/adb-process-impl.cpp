#include "cordlink/adb-process-impl.h"

#include <QDebug>
#include <algorithm>
#include <string>
#include <vector>

#include "cordlink/adb-program.h"
#include "cordlink/adb-server-rule.h"
#include "platform/process-identity.h"
#include "platform/process-list.h"
#include "platform/process.h"

namespace {

// A device list or mapping list is a few hundred bytes; anything near this is
// a runaway program, and memory must not grow with it until the time-out.
constexpr int kMaxCollectedBytes = 1 << 20;
// What of a call's output goes to the log; the rest is counted in one line.
constexpr int kMaxLoggedBytes = 4096;

// A process forking while its group is ended may leave a fresh member; a
// few rounds catch those.
constexpr int kEndGroupRounds = 3;

}  // namespace

AdbProcessImpl::AdbProcessImpl() {
    connect(this, &QProcess::started, this, [this] {
        groupId_ = processId();
        emit adbProcessImplResult(AdbProcess::AER_STARTED);
    });
    connect(this, &QProcess::readyReadStandardOutput, this, &AdbProcessImpl::onStandardOutput);
    connect(this, &QProcess::readyReadStandardError, this, &AdbProcessImpl::onStandardError);
    connect(this, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &AdbProcessImpl::onFinished);
    connect(this, &QProcess::errorOccurred, this, &AdbProcessImpl::onError);
}

void AdbProcessImpl::setupChildProcess() {
    platform::BecomeProcessGroupLeader();
}

void AdbProcessImpl::EndGroup() {
    if (groupId_ <= 0)
        return;
    std::vector<long> killed;
    for (int round = 0; round < kEndGroupRounds; ++round) {
        const size_t before = killed.size();
        for (long pid : platform::ProcessesInGroup(groupId_)) {
            const bool known =
                pid == groupId_ || std::find(killed.begin(), killed.end(), pid) != killed.end();
            if (!zu::IsAdbServer(platform::ProcessArguments(pid)) && platform::KillProcess(pid) &&
                !known) {
                killed.push_back(pid);
            }
        }
        if (killed.size() == before)
            break;
    }
    // adb itself is QProcess's to reap; what it started may come to us.
    platform::ReapAdopted(killed);
}

void AdbProcessImpl::run(const QString& serial, const QStringList& arguments) {
    output_.clear();
    error_.clear();
    received_ = 0;
    logged_ = 0;
    cut_ = false;
    groupId_ = 0;
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
    EndGroup();
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

void AdbProcessImpl::Take(QByteArray& into, const QByteArray& chunk, bool error) {
    if (cut_ || chunk.isEmpty())
        return;
    received_ += chunk.size();
    if (received_ > kMaxCollectedBytes) {
        // A device list is a few hundred bytes: this is a runaway program,
        // and neither memory nor the log may grow with it.
        cut_ = true;
        qCritical().noquote() << QStringLiteral("adb printed more than %1 bytes; ended: %2")
                                     .arg(kMaxCollectedBytes)
                                     .arg(arguments().join(QLatin1Char(' ')));
        EndGroup();
        kill();
        return;
    }
    into.append(chunk);
    if (logged_ >= kMaxLoggedBytes)
        return;
    const QByteArray shown = chunk.left(static_cast<int>(kMaxLoggedBytes - logged_));
    logged_ += shown.size();
    if (error)
        qWarning().noquote() << QStringLiteral("AdbProcessImpl::error:%1").arg(Chunk(shown));
    else
        qInfo().noquote() << QStringLiteral("AdbProcessImpl::out:%1").arg(Chunk(shown));
}

void AdbProcessImpl::onStandardOutput() {
    Take(output_, readAllStandardOutput(), false);
}

void AdbProcessImpl::onStandardError() {
    Take(error_, readAllStandardError(), true);
}

void AdbProcessImpl::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    // Whatever adb started and left running ends with the call.
    EndGroup();
    groupId_ = 0;
    if (logged_ < received_)
        qInfo().noquote()
            << QStringLiteral("AdbProcessImpl: \u2026 %1 more bytes").arg(received_ - logged_);
    if (cut_) {
        emit adbProcessImplResult(AdbProcess::AER_ERROR_PROCESS);
        return;
    }
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
