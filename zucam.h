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

class PhoneSession;
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
    // The program's own message box: `text` over `parent`, with "确定" and
    // "取消" for a question, "确定" alone otherwise; true when "确定" was
    // chosen. Installed by the program's entry; without one, a plain Qt box.
    using MessageBox = std::function<bool(QWidget* parent, const QString& text, bool question)>;
    static void SetMessageBox(MessageBox box);

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
    // The phone session behind the window; made on first use, so an instance
    // that only raises the running one sets nothing up and tears nothing down.
    PhoneSession* session();
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
    bool PlayAudio() const override { return playAudio_; }

    // Where screenshots and recordings go, and the name the phones see.
    const QString& saveDir() const { return saveDir_; }
    const QString& deviceName() const { return deviceName_; }
    // The settings: each has one owner here, and a change through its setter
    // applies at once and is written to disk at once (SetSaveDir,
    // SetDeviceName, SetWindowStaysOnTop, SetUseHardwareRender, SetWebPort
    // and OpenVirtualMic / CloseVirtualMic above).
    bool firstOpen() const { return firstOpen_; }
    void SetFirstOpen(bool first);
    bool shotOpenDir() const { return shotOpenDir_; }
    void SetShotOpenDir(bool open);
    bool windowStaysOnTop() const { return windowStaysOnTop_; }
    // Whether the virtual microphone should be, and is, open.
    bool openVirtualMic() const { return openVirtualMic_; }
    bool useHardwareRender() const { return useHardwareRender_; }
    // Read from the settings file, never written back to it: a change holds
    // for this run.
    bool playAudio() const { return playAudio_; }
    void SetPlayAudio(bool play);
    bool useHardwareDecoder() const { return useHardwareDecoder_; }
    void SetUseHardwareDecoder(bool use);
    // The port phone browsers reach the phone page on; 0 when there is none.
    int webPort() const { return webPort_; }
    // Stores the port at once and serves the page there now (stops it for 0);
    // false, changing nothing, for a number that is no port.
    bool SetWebPort(int port);
    // 0 = Wi-Fi, 1 = USB; changed only through SetConnectMode.
    int connectMode() const { return connectMode_; }

    // Run-time state the windows share, never saved.
    double scaleFactor = 1.0;
    QPointer<QWidget> mainWindow;
    // Written by the main window, read by the servers' threads.
    std::atomic<bool> recording{false};

public slots:
    void Initialize();

signals:
    // A new name for the phones; the waiting page shows it.
    void deviceNameChanged(QString name);

protected:
    // The questions and messages of the application object, each saying why
    // and what to do: the program's message box over the main window where
    // someone can see it, the log otherwise. Tests answer in place of a
    // person by overriding them.
    // True when the user chose "确定".
    virtual bool AskQuestion(const QString& text);
    // The title of the program's own message boxes.
    QString MessageTitle() const;
    virtual void ShowMessage(const QString& text);
    // Opens the microphone link; null when it cannot be opened.
    virtual std::shared_ptr<VirtaulAudioDeviceManager> CreateVirtualMic();
    // The setting alone, as OpenVirtualMic and CloseVirtualMic leave it.
    void SetOpenVirtualMic(bool open);

private slots:
    void OnReceivedMessage(quint32 instanceId, QByteArray message);

private:
    void SaveSettings();
    // A setting changed: written to disk at once, so a crash loses nothing.
    void SettingChanged();

    AppSettings settings_;
    QString saveDir_;
    QString deviceName_;
    bool firstOpen_ = true;
    bool shotOpenDir_ = false;
    bool windowStaysOnTop_ = false;
    bool openVirtualMic_ = false;
    // Read by the audio thread at every block.
    std::atomic<bool> playAudio_{false};
    bool useHardwareDecoder_ = false;
    bool useHardwareRender_ = false;
    int connectMode_ = 0;
    int webPort_ = 0;
    // Loading is over: from now on every change is written at once.
    bool settingsReady_ = false;
    // The servers, the camera, the microphone feed, and the microphone source
    // and the adb server, taken down at exit when this run set them up.
    std::unique_ptr<PhoneSession> session_;
    // saveDir as the servers' threads see it.
    mutable std::mutex saveDirMutex_;
    std::string saveDirForServers_;
};
