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

private:
    void onStandardOutput();
    void onStandardError();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onError(QProcess::ProcessError error);
    static QString Chunk(const QByteArray& bytes);
    static void Collect(QByteArray& into, const QByteArray& chunk);

    // Raw bytes, decoded only as a whole: adb's output may arrive in several
    // chunks, split anywhere (between lines, inside a line, inside a UTF-8
    // sequence), and trimming each chunk on its own would glue two device
    // lines together or mangle a serial.
    QByteArray output_;
    QByteArray error_;
};
