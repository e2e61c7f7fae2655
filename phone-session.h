#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera-output-process.h"
#include "devices/camera-feeder.h"
#include "devices/device-session.h"
#include "last-picture-store.h"
#include "recording-controller.h"
#include "server/media-callback.h"

class MediaServer;
class USBServer;
class VirtaulAudioDeviceManager;
class VirtualCameraQueue;
class WebPhoneService;

namespace zu {
class QAdbTools;
}

// One phone at a time, without any face: the connection servers (Wi-Fi or
// USB) and the switch between them, the camera queue and the camera for
// other programs, the latest picture, screenshots and recordings, the hold
// after a drop, the virtual microphone's feed and what this run set up
// outside itself (DeviceSession, the adb tools). The window and zucamd only
// turn its signals into pages, boxes and terminal lines.
//
// Lives on the main (GUI) thread. The MediaCallback operations come from the
// servers' threads: pictures and audio are handled there, everything else
// reaches the main thread through queued calls, and every signal is emitted
// on the main thread. Where screenshots and recordings go and the name the
// phone sees are read through the AppContext at the moment they are needed,
// so a changed setting applies to the next command.
class PhoneSession : public QObject, public MediaCallback {
    Q_OBJECT

public:
    static constexpr int kMediaPort = 10080;
    static constexpr int kUsbPort = 11080;
    static constexpr int kAnnouncePort = 5008;
    static constexpr int kDisconnectHoldMs = 5000;
    static constexpr int kUsbStartDelayMs = 1000;

    enum class Mode { kWifi, kUsb };
    enum class QueueResult { kOpened, kBusy, kFailed };

    struct Options {
        int mediaPort = kMediaPort;
        int usbPort = kUsbPort;
        // Whether a listening Wi-Fi server tells the network about itself.
        bool announce = true;
        DeviceSession::Tools devices = DeviceSession::SystemTools();
    };

    explicit PhoneSession(QObject* parent = nullptr);
    explicit PhoneSession(Options options, QObject* parent = nullptr);
    ~PhoneSession() override;

    // ---- the camera ----
    // Opens the camera queue the pictures go to; `why` says what went wrong.
    QueueResult OpenCameraQueue(std::string* why = nullptr);
    // Starts the camera other programs see; its state arrives as
    // cameraOutputChanged. A failed output is tried again at the next
    // connection, so a camera set up meanwhile is picked up.
    void StartCameraOutput(CameraOutputProcess::Options options = CameraOutputProcess::Options());
    VirtualCameraQueue* cameraQueue() const { return cameraQueue_.get(); }

    // ---- the servers ----
    // Starts serving in `mode` at once; false (with serverFailed) when the
    // port is taken.
    bool StartServing(Mode mode);
    // Wi-Fi at once; USB after kUsbStartDelayMs, cancelled by a switch back.
    void SwitchConnectionMode(Mode mode);
    Mode mode() const { return mode_; }
    // The addresses a phone can reach; (re)starts the announcement under the
    // current name while no phone is connected.
    std::vector<std::string> Addresses();
    // A new name for the phones: announced from now on.
    void DeviceNameChanged();
    MediaServer* mediaServer() const { return mediaServer_.get(); }
    USBServer* usbServer() const { return usbServer_.get(); }
    QTimer* usbStartTimer() { return &usbStartTimer_; }
    QTimer* holdTimer() { return &holdTimer_; }
    bool holding() const { return holding_; }

    // Ends serving, any recording and the camera; the session can start
    // again. What this run set up outside itself stays until destruction.
    void Stop();

    // ---- the phone page ----
    // The port browsers reach the phone page on (0: none); taken at the next
    // server start, which bridges the page to that server.
    void SetWebPort(int port) { webPort_ = port; }
    // Serves the page again, on the port now set, for the server now
    // listening; stops it when the port is 0 or no server listens. Browsers
    // on the old page are cut off.
    void RestartWebPhone();
    // The page while it is served; null otherwise.
    WebPhoneService* webPhone() const;

    // ---- pictures, screenshots, recordings ----
    // Called with every picture on the decoder thread (the window's renderer).
    void SetPictureSink(std::function<void(const FrameHolder&)> sink);
    bool IsRecording() const { return recording_.IsRecording(); }
    int64_t RecordingElapsedUs() const { return recording_.ElapsedUs(); }
    const RecordingController& recording() const { return recording_; }

    // ---- the virtual microphone ----
    // Opens the link; a missing source is loaded when `askInstall` is set and
    // answers true.
    DeviceSession::MicResult OpenVirtualMic(const std::function<bool()>& askInstall);
    void CloseVirtualMic();
    bool HasVirtualMic() const;
    // Interleaved signed 16-bit PCM; any thread.
    void WriteVirtualMic(const uint8_t* samples, int sampleCount, int sampleRate, int channels);

    // ---- adb ----
    // The adb tools, made on first use (main thread only).
    zu::QAdbTools* AdbTools();
    // Hands the tools to deleteLater; deleted at destruction at the latest.
    void ReleaseAdbTools();
    // The tools in use now; null when none are.
    zu::QAdbTools* heldAdbTools() const { return adbTools_; }
    // Ends the adb server(s) this run started; an adb server someone else
    // runs is left alone. How many were ended.
    int EndAdbServer();

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

public slots:
    void TakeScreenshot();
    void StartRecording();
    void StopRecording();

signals:
    // `transport`: "TCP", "Zup2p" or "USB".
    void phoneConnected(QString name, QString transport);
    void firstPicture(int width, int height);
    // The phone went; `held`: its picture is kept for holdMs in case it
    // comes back.
    void phoneGone(bool held, int holdMs);
    void holdRanOut();
    // No phone: the waiting page (addresses announced again).
    void waitingForPhone();
    void recordingStarted(QString path);
    // A finished file; empty when nothing was recording.
    void recordingStopped(QString path);
    // A file that could not be written ended the recording; what was written
    // up to then is kept.
    void recordingFailed(QString path, QString message);
    // `message` is one of the output_path texts.
    void recordingStartFailed(QString message);
    void screenshotSaved(QString path);
    void screenshotFailed(QString message);
    // The server of `mode` cannot listen on `port`.
    void serverFailed(Mode mode, int port);
    void decoderFailed(QString text);
    // The phone sends pictures in a format that cannot be shown (4:4:4,
    // 10-bit); they are dropped. Once per connection.
    void unsupportedPicture();
    // The camera for other programs: working, or not (with the exit code).
    void cameraOutputChanged(bool working, int code);
    // The phone page is served on `port`; `problem` is non-empty when it
    // serves only in part (no HTTPS: only this computer's plain link).
    void webPhoneServed(int port, QString problem);
    // The phone page cannot be served, and why.
    void webPhoneFailed(QString why);

private slots:
    void ConnectedOnMain(QString name, QString transport);
    void GoneOnMain(bool held);
    void HoldEnded();
    void StartUsbNow();
    void ReportCameraOutput(bool working, int code);
    void RecordingFailedOnMain(QString path, QString message);

private:
    bool StartWifiServer();
    bool StartUsbServer();
    void StopWifiServer();
    void StopUsbServer();
    // Bridges the phone page to the server now listening on `commandPort`.
    void ServeWebPhone(int commandPort);
    // The phone is gone for good: the camera says so, the picture goes.
    void MarkPhoneGone();
    void ReturnToWaiting();
    void DeleteAdbTools();

    Options options_;
    Mode mode_ = Mode::kWifi;
    std::unique_ptr<MediaServer> mediaServer_;
    std::unique_ptr<USBServer> usbServer_;
    std::unique_ptr<VirtualCameraQueue> cameraQueue_;
    CameraFeeder feeder_;
    std::unique_ptr<CameraOutputProcess> cameraOutput_;
    CameraOutputProcess::Options cameraOutputOptions_;
    bool cameraOutputFailed_ = false;
    LastPictureStore lastPicture_;
    RecordingController recording_;
    std::function<void(const FrameHolder&)> pictureSink_;
    std::atomic<bool> firstPictureSeen_{false};
    bool connected_ = false;
    bool holding_ = false;
    QTimer usbStartTimer_;
    QTimer holdTimer_;
    DeviceSession devices_;
    // Taken by the audio thread for each block, so closing the microphone
    // never pulls it from under a write.
    mutable std::mutex micMutex_;
    std::shared_ptr<VirtaulAudioDeviceManager> mic_;
    zu::QAdbTools* adbTools_ = nullptr;
    // Tools handed to deleteLater: deleted at destruction if the event loop
    // ended before it got to them.
    std::vector<QPointer<zu::QAdbTools>> releasedAdbTools_;
    int webPort_ = 0;
    // Last: its browsers are bridged to the servers above and go first.
    std::unique_ptr<WebPhoneService> webPhone_;
};
