#include "cordlink/qadb-tools.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "cordlink/adb-output-parser.h"
#include "cordlink/adb-process.h"
#include "cordlink/adb-program.h"
#include "platform/paths.h"
#include "platform/process-list.h"

namespace zu {
namespace {

// A re-entrant call waits for the running one, which its own limit ends; this
// margin covers the kill and reaping that follow that limit.
constexpr int kIdleMarginMs = 3000;
constexpr int kIdlePollMs = 10;
// The calls made on the way out (removing the port mappings), and any call
// once the program was asked to stop, wait at most this long for adb: a hung
// adb must not hold up the exit.
constexpr int kLeavingLimitMs = 1000;
// How often a waiting call looks whether the program was asked to stop.
constexpr int kStopPollMs = 50;

}  // namespace

// What a call returns, taken at the moment its own operation ends: by the time
// its local loop unwinds, re-entrant calls may have run and changed the lists
// and lastResult.
struct QAdbTools::Outcome {
    bool done = false;
    bool result = false;
    std::list<DeviceInfo> devices;
    std::list<PortConnection> mappings;
};

struct QAdbTools::Wait {
    OperateType type;
    Outcome* outcome;
    QEventLoop* loop;
    QTimer* limit;
};

QAdbTools::QAdbTools(const std::wstring& path) : adbPath(path) {
    qRegisterMetaType<zu::OperateType>("zu::OperateType");
    if (adbPath.empty())
        adbPath = DefaultAdbPath().toStdWString();
    SetAdbProgramPath(QString::fromStdWString(adbPath));
    process = std::make_shared<AdbProcess>();
    connect(process.get(), &AdbProcess::adbProcessResult, this,
            [this](AdbProcess::ADB_EXEC_RESULT result) { onAdbProcessResult(result); });
}

QAdbTools::~QAdbTools() {
    if (wait_) {
        // Destroyed from inside a waiting call: that call fails now.
        process->close();
        endWait();
    }
    leaving_ = true;
    adbRemoveReverse();
    if (process->isRunning())
        process->close();
    process.reset();
    if (endAdbServerOnDestroy)
        EndAdbServer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    mappingList.clear();
    deviceList.clear();
}

std::list<DeviceInfo> QAdbTools::findUsbDevice() {
    if (!waitUntilIdle())
        return {};
    currentOperation = FindDevice;
    deviceList.clear();
    return runAndWait(
               FindDevice,
               [this] {
                   process->run(QString(), {QStringLiteral("devices"), QStringLiteral("-l")});
               })
        .devices;
}

bool QAdbTools::adbReverse(const QString& serial, int remotePort, int localPort) {
    if (!waitUntilIdle())
        return false;
    currentOperation = Reverse;
    return runAndWait(Reverse, [&] { process->reverse(serial, remotePort, localPort); }).result;
}

std::list<PortConnection> QAdbTools::adbGetPortConnections() {
    if (!waitUntilIdle())
        return {};
    currentOperation = ListReverse;
    mappingList.clear();
    return runAndWait(
               ListReverse,
               [this] {
                   process->run(QString(), {QStringLiteral("reverse"), QStringLiteral("--list")});
               })
        .mappings;
}

bool QAdbTools::adbRemoveReverse() {
    if (!waitUntilIdle())
        return false;
    currentOperation = RemoveReverse;
    return runAndWait(RemoveReverse, [this] { process->removeReverse(QString()); }).result;
}

void QAdbTools::onAdbProcessResult(int result) {
    lastResult = false;
    switch (result) {
        case AdbProcess::AER_STARTED:
            return;
        case AdbProcess::AER_ERROR_PROCESS:
            break;
        case AdbProcess::AER_SUCCESS:
            if (currentOperation == FindDevice) {
                deviceList = ParseDeviceList(process->standardOutput());
            } else if (currentOperation == ListReverse) {
                mappingList = ParsePortConnections(process->standardOutput());
            }
            lastResult = true;
            break;
        case AdbProcess::AER_ERROR_EXEC:
            qDebug() << process->arguments() << "AER_ERROR_EXEC";
            break;
        case AdbProcess::AER_NOT_FOUND:
            qDebug() << "adb not found";
            break;
        default:
            return;
    }
    finishWait();
    // Receivers may delete this object; nothing may follow the emission.
    emit adbOperateDone(currentOperation);
}

void QAdbTools::finishWait() {
    if (!wait_ || wait_->type != currentOperation)
        return;
    Outcome& outcome = *wait_->outcome;
    outcome.done = true;
    outcome.result = lastResult;
    outcome.devices = deviceList;
    outcome.mappings = mappingList;
    endWait();
}

void QAdbTools::endWait() {
    if (!wait_)
        return;
    wait_->limit->stop();
    wait_->loop->quit();
    wait_ = nullptr;
}

bool QAdbTools::waitUntilIdle() {
    if (wait_) {
        qDebug() << "adb busy, waiting for the running call";
        QPointer<QAdbTools> self(this);
        QEventLoop idle;
        QTimer poll;
        QElapsedTimer since;
        const qint64 limit = AdbWaitLimit() + kIdleMarginMs;
        since.start();
        connect(&poll, &QTimer::timeout, &idle, [&] {
            if (!self || !self->wait_ || since.elapsed() > limit)
                idle.quit();
        });
        poll.start(kIdlePollMs);
        idle.exec();
        if (!self)
            return false;
        if (wait_) {
            // The running call's own limit should have ended it; never wait twice.
            qCritical() << "adb call did not end, abandoning it";
            process->close();
            endWait();
        }
    }
    // A process left over from a call that ended early (an error reported
    // while adb still ran) must not swallow the next run.
    if (process->isRunning())
        process->close();
    return true;
}

QAdbTools::Outcome QAdbTools::runAndWait(OperateType type, const std::function<void()>& start) {
    Outcome outcome;
    if (!QCoreApplication::instance()) {
        qCritical() << "QAdbTools needs a QCoreApplication to run adb";
        return outcome;
    }
    QPointer<QAdbTools> self(this);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QTimer stopPoll;
    Wait wait{type, &outcome, &loop, &limit};
    connect(this, &QAdbTools::adbOperateDone, &loop, [this, type, &loop](OperateType done) {
        if (done != type)
            return;
        disconnect(this, nullptr, nullptr, nullptr);
        loop.quit();
    });
    const int limitMs = CallLimit();
    auto cut = [this, &wait](const QString& why) {
        qCritical().noquote()
            << QStringLiteral("adb %1: %2").arg(why, process->arguments().join(QLatin1Char(' ')));
        // The killed process reports its end, which fails the call.
        process->close();
        if (wait_ == &wait)
            endWait();
    };
    connect(&limit, &QTimer::timeout, &loop,
            [cut, limitMs] { cut(QStringLiteral("timed out after %1 ms").arg(limitMs)); });
    // Asked to stop while adb runs: the program leaves now rather than after
    // adb's limit.
    connect(&stopPoll, &QTimer::timeout, &loop, [cut, &stopPoll] {
        if (!AdbStopRequested())
            return;
        stopPoll.stop();
        cut(QStringLiteral("call cut short: the program is stopping"));
    });
    wait_ = &wait;
    start();
    if (!outcome.done) {
        limit.start(limitMs);
        // Calls made after the request (the way out) have their short limit.
        if (!AdbStopRequested())
            stopPoll.start(kStopPollMs);
        loop.exec();
    }
    if (!self)
        return outcome;
    if (wait_ == &wait) {
        // The loop returned without an end (it could not run at all).
        process->close();
        wait_ = nullptr;
    }
    return outcome;
}

int QAdbTools::CallLimit() const {
    const int limit = AdbWaitLimit();
    if (leaving_ || AdbStopRequested())
        return std::min(limit, kLeavingLimitMs);
    return limit;
}

QString QAdbTools::DefaultAdbPath() {
    const QString dir = QString::fromStdString(platform::ExecutableDir());
    const QFileInfo beside(dir + QStringLiteral("/adb"));
    if (!dir.isEmpty() && beside.isFile() && beside.isExecutable())
        return beside.filePath();
    return QStringLiteral("adb");
}

// Ends the adb server so that no adb outlives ZuCam's USB mode, whoever
// started it; only processes of this user can be signalled.
void QAdbTools::EndAdbServer() {
    const std::vector<long> pids = platform::FindProcessesByName("adb");
    if (!pids.empty())
        platform::TerminateProcess(pids.front());
}

}  // namespace zu
