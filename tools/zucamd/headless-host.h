#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "app-context.h"
#include "app-settings.h"
#include "camera-output-process.h"
#include "devices/camera-feeder.h"
#include "devices/device-session.h"
#include "last-picture-store.h"
#include "recording-controller.h"
#include "server/media-callback.h"
#include "tools/zucamd/terminal-report.h"
#include "tools/zucamd/zucamd-options.h"

class MediaServer;
class USBServer;
class VirtaulAudioDeviceManager;
class VirtualCameraQueue;

// ZuCam without a window: hosts the connection server, feeds the camera
// queue, keeps the last picture, and answers the phone's screenshot and
// record commands. What the main window shows as message boxes is logged.
// Lives on the main thread; the MediaCallback operations come from the
// server's threads and reach the main thread through queued slots.
class HeadlessHost : public QObject, public AppContext, public MediaCallback {
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

    // AppContext
    bool IsRecording() const override;
    std::string DeviceName() const override;
    std::string SaveDir() const override;
    zu::QAdbTools* AdbTools() override;
    void ReleaseAdbTools() override;
    void UpdateVolumn(int level) override;
    bool PlayAudio() const override;

    // MediaCallback
    void OnClientConnected(const char* name) override;
    void OnClientDisconnected() override;
    void OnClientDisconnectedDelay() override;
    void OnVideoFrame(const FrameHolder& frame) override;
    void OnAudioFrame(const FrameHolder& frame) override;
    void OnScreenShotRequest() override;
    void OnStartRecordRequest() override;
    void OnStopRecordRequest() override;
    void OnUnsupportedPicture() override;

private slots:
    void ScreenShot();
    void StartRecord();
    void StopRecord();
    void SwitchToWaitConnection();
    void SwitchToWaitConnectionDelay();
    void StopAnnounce();
    void ShowDecoderFailure(const QString& text);

private:
    bool StartServer();
    bool StartUsbServer();
    // The save folder takes files: the screenshot's write test.
    bool CheckSaveDir();
    // False when another writer owns the queue or it cannot be made.
    bool OpenCameraQueue();
    void ReportListening();
    static bool AdbAvailable();
    void OpenVirtualMic();
    void WriteVirtualMic(const FrameHolder& frame);
    void Announce();
    // Camera queue stopped, last picture released: the phone is gone for good.
    void MarkPhoneGone();

    ZucamdOptions options_;
    TerminalReport terminal_;
    AppSettings settings_;
    std::string saveDir_;
    std::unique_ptr<VirtualCameraQueue> cameraQueue_;
    CameraFeeder feeder_;
    CameraOutputProcess cameraOutput_;
    LastPictureStore lastPicture_;
    RecordingController recording_;
    std::unique_ptr<MediaServer> mediaServer_;
    std::unique_ptr<USBServer> usbServer_;
    zu::QAdbTools* adbTools_ = nullptr;
    DeviceSession deviceSession_;
    // Taken by the audio thread for each block, so closing the microphone
    // never pulls it from under a write.
    mutable std::mutex vmicMutex_;
    std::shared_ptr<VirtaulAudioDeviceManager> vmic_;
    std::atomic<bool> disconnectPending_{false};
    unsigned holdGeneration_ = 0;  // main thread
    std::atomic<bool> firstPictureLogged_{false};
};
