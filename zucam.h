#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app-context.h"
#include "app-settings.h"
#include "single-application.h"

class VirtaulAudioDeviceManager;

// The one application object of ZuCam: user settings (loaded at start, saved
// at exit), the display scale factor, the main window, the virtual
// microphone link, the ADB tools, and the run-time flags the windows share.
// Every part reaches it through the global application instance.
class ZuCam : public SingleApplication, public AppContext {
    Q_OBJECT

public:
    // Builds the one main window; installed by the program's entry. Without
    // one, start-up ends with exit code 1.
    using WindowFactory = std::function<QWidget*()>;
    static void SetMainWindowFactory(WindowFactory factory);

    // A single-instance application (secondaries allowed, options 7, time-out
    // 1000 ms) that queues Initialize for when the event loop starts.
    ZuCam(int& argc, char** argv);
    ~ZuCam() override;

    static ZuCam* instance();

    void LoadSettings();
    bool OpenVirtualMic(bool askInstall);
    void CloseVirtualMic();
    // Interleaved 16-bit PCM; called on the thread that delivers audio.
    void WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels);
    void SetWindowStaysOnTop(bool onTop);
    void SetUseHardwareRender(bool use);
    void SetDeviceName(const QString& name);
    void SetConnectMode(int mode);
    void KillAdbProcess();
    bool IsPowerSaverActive() const;

    // AppContext, for the connection servers.
    bool IsRecording() const override { return recording; }
    std::string DeviceName() const override;
    zu::QAdbTools* AdbTools() override;
    void ReleaseAdbTools() override;
    // Any thread: reaches the window's "UpdateVolumn" slot on the GUI thread.
    void UpdateVolumn(int level) override;
    bool PlayAudio() const override { return playAudio; }

    double scaleFactor = 1.0;
    QPointer<QWidget> mainWindow;
    QString saveDir;
    QString deviceName;
    bool firstOpen = true;
    bool shotOpenDir = false;
    bool windowStaysOnTop = false;
    bool openVirtualMic = false;
    // Read by the audio thread at every block.
    std::atomic<bool> playAudio{false};
    bool useHardwareDecoder = false;
    bool useHardwareRender = false;
    // Written by the main window, read by the servers' threads.
    std::atomic<bool> recording{false};
    int connectMode = 0;
    std::shared_ptr<VirtaulAudioDeviceManager> virtualMic;
    zu::QAdbTools* adbTools = nullptr;

public slots:
    void Initialize();

private slots:
    void OnReceivedMessage(quint32 instanceId, QByteArray message);

private:
    void SaveSettings();
    void DetectHardwareDecoders();
    void RegisterCameraFilter();
    void ShowMessageBox(const char* text);

    AppSettings settings_;
    // Guards virtualMic between the GUI thread and the audio thread.
    std::mutex micMutex_;
};
