#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

#include "app-context.h"
#include "app-settings.h"
#include "phone-session.h"
#include "tools/zucamd/terminal-report.h"
#include "tools/zucamd/zucamd-options.h"

// ZuCam without a window: a phone session whose events become terminal
// lines, with the settings and the save folder the options give. Lives on
// the main thread.
class HeadlessHost : public QObject, public AppContext {
    Q_OBJECT

public:
    explicit HeadlessHost(const ZucamdOptions& options);
    ~HeadlessHost() override;

    // Loads the settings, opens the camera queue and starts serving. 0 when
    // it serves; otherwise the exit code (2: a --save-dir it cannot write to;
    // 1: the camera or the port is taken), the reason told on the terminal.
    int Start();
    // Stops serving: the server goes first, then any recording, then the
    // camera queue is marked stopped and removed.
    void Shutdown();

    PhoneSession& session() { return *session_; }

    // AppContext
    bool IsRecording() const override;
    std::string DeviceName() const override;
    std::string SaveDir() const override;
    zu::QAdbTools* AdbTools() override;
    void ReleaseAdbTools() override;
    void UpdateVolumn(int level) override;
    bool PlayAudio() const override;

private:
    // The session's events as terminal lines.
    void ConnectTerminal();
    // The save folder takes files: the screenshot's write test.
    bool CheckSaveDir();
    // False when another writer owns the queue or it cannot be made.
    bool OpenCameraQueue();
    void ReportListening();
    // The links a phone's browser can open, and a QR code of the first.
    void ReportPhonePage(int port, QString problem);
    static bool AdbAvailable();
    void OpenVirtualMic();

    ZucamdOptions options_;
    TerminalReport terminal_;
    AppSettings settings_;
    std::string saveDir_;
    std::unique_ptr<PhoneSession> session_;
    bool cameraOutputWorks_ = true;
};
