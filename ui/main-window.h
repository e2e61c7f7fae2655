#pragma once

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <string>

#include "phone-session.h"
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

// The one top-level window of ZuCam: the face of the application's phone
// session. It turns the session's events into the main form's pages, the
// menu's record state, message boxes and tray notices, hands every picture
// to the renderer, and owns the tray icon. The session itself (servers,
// camera, pictures, hold, recordings) is the one zucamd shows too.
class MainWindow : public QMainWindow, public ResizeObserver {
    Q_OBJECT

public:
    static constexpr int kMediaPort = PhoneSession::kMediaPort;
    static constexpr int kUsbPort = PhoneSession::kUsbPort;
    static constexpr int kAnnouncePort = PhoneSession::kAnnouncePort;
    // A phone that drops with a hold keeps the display page this long.
    static constexpr int kDisconnectHoldMs = PhoneSession::kDisconnectHoldMs;
    // The USB server starts this long after the switch to USB; a switch back
    // within it cancels the start.
    static constexpr int kUsbStartDelayMs = PhoneSession::kUsbStartDelayMs;
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

    MainForm* mainForm() const;
    MenuStateForm* menuForm() const;
    SystemTray* tray() const { return tray_; }
    // The phone session this window shows (the servers' MediaCallback).
    PhoneSession* session() const { return session_; }
    MediaServer* activeMediaServer() const { return mediaServer(); }
    USBServer* activeUsbServer() const { return usbServer(); }
    const RecordingController& recording() const { return session_->recording(); }
    // The pending starts and holds, for whoever needs to see them run.
    QTimer* usbStartTimer() { return session_->usbStartTimer(); }
    QTimer* disconnectTimer() { return session_->holdTimer(); }

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
    void SwitchToWaitVideo(QString name);
    void SwitchToWaitConnection();
    void OnFirstFrameReady();
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
    void PhoneGone(bool held);
    void RecordingStarted();
    void StopRecordDisplay();
    void ShowRecordingFailure(QString path, QString message);
    void ShowServerFailure(PhoneSession::Mode mode, int port);
    void ShowCameraOutput(bool working, int code);
    // The dialog with the phone page's links and QR code.
    void ShowWebPhone();

private:
    void SetUpTitle();
    void ConnectSession();
    void BuildTray();
    void RestoreWindow();
    void ShowAddresses();
    QPoint FromScreen(int x, int y) const;
    MediaServer* mediaServer() const { return session_->mediaServer(); }
    USBServer* usbServer() const { return session_->usbServer(); }
    VirtualCameraQueue* cameraQueue() const { return session_->cameraQueue(); }

    std::unique_ptr<Ui::MainWindow> ui;
    QList<QWidget*> titleButtons;
    SystemTray* tray_ = nullptr;
    // Without an application object (which owns the session) the window
    // keeps one of its own.
    std::unique_ptr<PhoneSession> ownSession_;
    PhoneSession* session_ = nullptr;
    int recordTimerId = 0;
    QRect savedGeometry;
    // The phone dropped with a hold: a return keeps the display page.
    bool disconnectPending = false;
    bool cameraOutputFailed_ = false;
};
