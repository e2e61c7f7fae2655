#pragma once

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <string>

#include "devices/camera-feeder.h"
#include "last-picture-store.h"
#include "recording-controller.h"
#include "server/media-callback.h"
#include "ui/resize-observer.h"

class MainForm;
class MediaServer;
class MenuStateForm;
class SystemTray;
class USBServer;
class VirtualCameraQueue;

namespace Ui {
class MainWindow;
}

// The one top-level window of ZuCam and the hub of a phone connection: it
// owns the server of the current connection mode (Wi-Fi or USB) and is the
// MediaCallback that server reports to. It drives the connection states the
// main form shows, feeds every picture to the camera queue, the renderer and
// a running recording, takes screenshots, and owns the tray icon.
//
// The picture services are the ones zucamd uses too (camera feeder, latest
// picture, screenshot writer, recording controller). The decoder thread
// never waits for the GUI thread, and the picture lock (inside the latest
// picture store) and the record lock (inside the recording controller) are
// never held together.
class MainWindow : public QMainWindow, public ResizeObserver, public MediaCallback {
    Q_OBJECT

public:
    static constexpr int kMediaPort = 10080;
    static constexpr int kUsbPort = 11080;
    static constexpr int kAnnouncePort = 5008;
    // A phone that drops with a hold keeps the display page this long.
    static constexpr int kDisconnectHoldMs = 5000;
    // The USB server starts this long after the switch to USB; a switch back
    // within it cancels the start.
    static constexpr int kUsbStartDelayMs = 1000;
    static constexpr int kRecordTimeTickMs = 200;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // 0: Wi-Fi, 1: USB (after kUsbStartDelayMs).
    Q_INVOKABLE void SwitchConnectionMode(int mode);

    // ResizeObserver; points in screen coordinates.
    bool isInTopEdge(int x, int y) const override;
    bool isInBottomEdge(int x, int y) const override;
    bool isInLeftEdge(int x, int y) const override;
    bool isInRightEdge(int x, int y) const override;
    bool isInCaption(int x, int y) const override;

    // MediaCallback: any thread; connection events and requests only queue
    // slots, pictures are handled on the decoder thread.
    void OnClientConnected(const char* name) override;
    void OnClientDisconnected() override;
    void OnClientDisconnectedDelay() override;
    void OnVideoFrame(const FrameHolder& frame) override;
    void OnAudioFrame(const FrameHolder& frame) override;
    void OnScreenShotRequest() override;
    void OnStartRecordRequest() override;
    void OnStopRecordRequest() override;
    void OnUnsupportedPicture() override;

    MainForm* mainForm() const;
    MenuStateForm* menuForm() const;
    SystemTray* tray() const { return tray_; }
    MediaServer* activeMediaServer() const { return mediaServer.get(); }
    USBServer* activeUsbServer() const { return usbServer.get(); }
    const RecordingController& recording() const { return recording_; }
    // The pending starts and holds, for whoever needs to see them run.
    QTimer* usbStartTimer() { return &usbStartTimer_; }
    QTimer* disconnectTimer() { return &disconnectTimer_; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

    // The person's part, replaced by tests: a one-button message over the
    // window, the close question (true: close), the file browser showing a
    // finished file, the end of the program and the power scheme.
    virtual void ShowMessage(const QString& text);
    virtual bool AskClose();
    virtual void OpenFileLocation(const std::string& path);
    virtual void QuitApplication();
    virtual bool PowerSaverActive() const;

private slots:
    void StartMediaServer();
    void StopMediaServer();
    void StartUSBServer();
    void StopUSBServer();
    void SwitchToWaitVideo(QString name);
    void SwitchToWaitConnection();
    void SwitchToWaitConnectionDelay();
    void OnFirstFrameReady();
    void ShowUnsupportedPicture();
    void UpdateVolumn(int volumn);
    void ScreenShot();
    void ShowScreenShotResult(QString path);
    void StartRecord();
    void StopRecord();
    void UpdateRecodTime();
    void on_pushButton_main_close_clicked();
    void on_pushButton_main_max_clicked();
    void on_pushButton_main_min_clicked();
    void on_pushButton_helpinfo_clicked();
    void slot_activatedSysTrayIcon(QSystemTrayIcon::ActivationReason reason);
    void ShowDecoderFailure(const QString& text);
    void CheckPowerScheme();
    void DisconnectHoldRanOut();

private:
    void SetUpTitle();
    void OpenCameraQueue();
    void BuildTray();
    void RestoreWindow();
    // The phone is gone for good: the camera says so, the picture goes.
    void MarkPhoneGone();
    void ShowAddresses();
    QPoint FromScreen(int x, int y) const;

    std::unique_ptr<Ui::MainWindow> ui;
    QList<QWidget*> titleButtons;
    SystemTray* tray_ = nullptr;
    std::unique_ptr<MediaServer> mediaServer;
    std::unique_ptr<USBServer> usbServer;
    std::unique_ptr<VirtualCameraQueue> cameraQueue;
    CameraFeeder feeder_;
    LastPictureStore lastPicture_;
    RecordingController recording_;
    int recordTimerId = 0;
    QRect savedGeometry;
    bool disconnectPending = false;
    QTimer usbStartTimer_;
    QTimer disconnectTimer_;
};
