#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class AdbProcessImpl;

// One adb command at a time. Owns the QProcess side (AdbProcessImpl) and
// reports every step of a run as an ADB_EXEC_RESULT.
class AdbProcess : public QObject {
    Q_OBJECT
public:
    enum ADB_EXEC_RESULT : int {
        AER_STARTED = 0,
        AER_ERROR_PROCESS = 1,  // crash, time-out, read/write or unknown error
        AER_SUCCESS = 2,        // exit code 0
        AER_ERROR_EXEC = 3,     // non-zero exit code or crash
        AER_NOT_FOUND = 4,      // the program cannot be started
    };

    explicit AdbProcess(QObject* parent = nullptr);
    ~AdbProcess() override;

    void run(const QString& serial, const QStringList& arguments);
    void reverse(const QString& serial, int remotePort, int localPort);
    void removeReverse(const QString& serial);

    // Standard output of the last run, whole and trimmed.
    QString standardOutput() const;
    // Arguments of the last run, "-s <serial>" included.
    QStringList arguments() const;
    bool isRunning() const;
    // Kills a running adb and reaps it within a bounded wait; the results of
    // its end are reported before this returns.
    void close();

signals:
    void adbProcessResult(AdbProcess::ADB_EXEC_RESULT result);

private:
    // The implementation may be deep in one of its own signal emissions when
    // this object goes away, so it is only ever deleted later.
    struct DeleteLater {
        void operator()(AdbProcessImpl* impl) const;
    };
    std::unique_ptr<AdbProcessImpl, DeleteLater> impl_;
};
