#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "cordlink/adb-process.h"

// The QProcess that runs adb: collects its output and turns QProcess's
// signals into ADB_EXEC_RESULT values.
class AdbProcessImpl : public QProcess {
    Q_OBJECT
public:
    AdbProcessImpl();

    void run(const QString& serial, const QStringList& arguments);
    // Whole collected outputs, decoded and trimmed at both ends.
    QString collectedOutput() const;
    QString collectedError() const;
    // Kills a running adb and waits up to waitMs for it to be reaped. When it
    // cannot be reaped in time, AER_ERROR_PROCESS is reported instead.
    void stop(int waitMs);

signals:
    void adbProcessImplResult(AdbProcess::ADB_EXEC_RESULT result);

protected:
    // In the child, before adb runs: a process group of its own, so that
    // ending the call ends everything adb started too.
    void setupChildProcess() override;

private:
    void onStandardOutput();
    void onStandardError();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onError(QProcess::ProcessError error);
    static QString Chunk(const QByteArray& bytes);
    // Keeps and logs a chunk within this call's bounds; a call that prints
    // past them is ended (one line says so) and fails.
    void Take(QByteArray& into, const QByteArray& chunk, bool error);
    void EndGroup();

    // Raw bytes, decoded only as a whole: adb's output may arrive in several
    // chunks, split anywhere (between lines, inside a line, inside a UTF-8
    // sequence), and trimming each chunk on its own would glue two device
    // lines together or mangle a serial.
    QByteArray output_;
    QByteArray error_;
    qint64 received_ = 0;  // bytes read from adb in this call
    qint64 logged_ = 0;    // bytes of them put in the log
    bool cut_ = false;     // printed too much and was ended
    qint64 groupId_ = 0;   // adb's process group while it may have members
};
