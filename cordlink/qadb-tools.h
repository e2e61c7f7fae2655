#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "cordlink/cordlink-export.h"
#include "cordlink/device-info.h"
#include "cordlink/operate-type.h"
#include "cordlink/port-connection.h"

class AdbProcess;

namespace zu {

// Blocking adb calls for the GUI thread. Each call starts one adb process and
// waits for it in a local event loop, so timers, window events and queued
// calls keep being delivered inside the call: callers must expect re-entry.
// A call that arrives while another one waits runs after it. No call waits
// longer than AdbWaitLimit() for adb; a hung adb is killed and the call fails.
// Once the program is asked to stop (SetAdbStopCheck), and in the
// destructor, a call waits at most a second.
class CORDLINK_EXPORT QAdbTools : public QObject {
    Q_OBJECT
public:
    // An empty path means "adb" beside the running executable, else "adb" on
    // PATH. The path becomes the library-wide adb program (SetAdbProgramPath).
    explicit QAdbTools(const std::wstring& adbPath = std::wstring());
    // Removes all reverse mappings, then ends the adb server.
    ~QAdbTools() override;
    QAdbTools(const QAdbTools&) = delete;
    QAdbTools& operator=(const QAdbTools&) = delete;

    // Devices ready for commands; empty when none or when adb fails.
    std::list<DeviceInfo> findUsbDevice();
    // Maps the device's tcp:remotePort to the computer's tcp:localPort. An
    // empty serial lets adb pick the only device.
    bool adbReverse(const QString& serial, int remotePort, int localPort);
    std::list<PortConnection> adbGetPortConnections();
    bool adbRemoveReverse();

    // Whether the destructor ends the first adb process of the user (the adb
    // server), as it does unless told otherwise. A program that knows which
    // adb server it started turns this off and ends that one itself.
    void setEndAdbServerOnDestroy(bool end) { endAdbServerOnDestroy = end; }

signals:
    // Sent when an operation has ended. Every connection to this object's
    // signals, outside ones included, is removed when an operation ends.
    void adbOperateDone(zu::OperateType type);

private:
    struct Outcome;
    struct Wait;

    // Takes an AdbProcess::ADB_EXEC_RESULT; the process class stays internal.
    void onAdbProcessResult(int result);
    void finishWait();
    void endWait();
    bool waitUntilIdle();
    Outcome runAndWait(OperateType type, const std::function<void()>& start);
    // How long the next call may wait for adb.
    int CallLimit() const;
    static QString DefaultAdbPath();
    static void EndAdbServer();

    std::wstring adbPath;
    std::shared_ptr<AdbProcess> process;
    std::list<PortConnection> mappingList;
    std::list<DeviceInfo> deviceList;
    OperateType currentOperation = FindDevice;
    bool lastResult = false;
    // The call waiting for adb, from its start until its end is known; a call
    // arriving meanwhile (re-entry through the local event loop) waits.
    Wait* wait_ = nullptr;
    bool endAdbServerOnDestroy = true;
    // Set by the destructor: its calls are the way out and wait briefly.
    bool leaving_ = false;
};

}  // namespace zu
