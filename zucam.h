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
#include <vector>

#include "app-context.h"
#include "app-settings.h"
#include "cordlink/qadb-tools.h"
#include "single-application.h"

class CameraOutputProcess;
class DeviceSession;
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
    // Interleaved signed 16-bit PCM (an audio frame's first plane), sampleCount
    // samples per channel; called on the thread that delivers audio.
    void WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels);
    // Stores the save folder; the servers' threads read it through SaveDir.
    void SetSaveDir(const QString& dir);
    void SetWindowStaysOnTop(bool onTop);
    void SetUseHardwareRender(bool use);
    void SetDeviceName(const QString& name);
    void SetConnectMode(int mode);
    void KillAdbProcess();
    bool IsPowerSaverActive() const;
    // Whether a modal box can reach a person: a widget application on a
    // platform with a visible screen.
    static bool CanShowDialogs();

    // AppContext, for the connection servers.
    bool IsRecording() const override { return recording; }
    std::string DeviceName() const override;
    // The folder last given to LoadSettings or SetSaveDir.
    std::string SaveDir() const override;
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

protected:
    // The questions and messages of the application object. The program's
    // own message box arrives with its dialogs; until then a QMessageBox over
    // the main window where someone can see it, the log otherwise. Tests
    // answer in place of a person by overriding them.
    // True when the user chose "确定".
    virtual bool AskQuestion(const QString& text);
    // The title of the program's own message boxes.
    QString MessageTitle() const;
    virtual void ShowMessage(const QString& text);
    // Opens the microphone link; null when it cannot be opened.
    virtual std::shared_ptr<VirtaulAudioDeviceManager> CreateVirtualMic();

private slots:
    void OnReceivedMessage(quint32 instanceId, QByteArray message);

private:
    void SaveSettings();
    void SetVirtualMic(std::shared_ptr<VirtaulAudioDeviceManager> mic);
    void DeleteAdbTools();

    AppSettings settings_;
    // The microphone source and the adb server, taken down at exit when this
    // run set them up.
    std::unique_ptr<DeviceSession> deviceSession_;
    // Guards virtualMic between the GUI thread and the audio thread.
    std::mutex micMutex_;
    // zucam-camera, the camera other programs see; none with --no-camera-output.
    std::unique_ptr<CameraOutputProcess> cameraOutput_;
    // saveDir as the servers' threads see it.
    mutable std::mutex saveDirMutex_;
    std::string saveDirForServers_;
    // The tools handed to deleteLater: deleted at exit if the event loop
    // ended before it got to them.
    std::vector<QPointer<zu::QAdbTools>> releasedAdbTools_;
};
