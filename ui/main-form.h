#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <memory>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

class OpenGLWidget;

namespace Ui {
class MainForm;
}

// The middle of the main window: four pages that show the connection state
// (0 waiting for Wi-Fi, 1 waiting for USB, 2 connected, 3 the video), the
// computer's addresses as links that copy themselves, and the two renderers.
// It holds no connection logic: the main window says what to show.
class MainForm : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPageWaitWifi = 0;
    static constexpr int kPageWaitUsb = 1;
    static constexpr int kPageConnected = 2;
    static constexpr int kPageDisplay = 3;
    static constexpr int kNoPage = 4;

    explicit MainForm(QWidget* parent = nullptr);
    ~MainForm() override;

    void ShowPage(int index);
    // Any thread: the decoder thread asks on every picture.
    int CurrentPage() const;
    // The addresses as links separated by " / "; none: "---.---.---.---".
    void SetIpList(const QStringList& list);
    static QString IpListHtml(const QStringList& list);
    void SetConnectedName(const QString& name);
    // Decoder thread: hands the picture to the renderer in use.
    void RenderFrame(const FrameHolder& frame);

signals:
    // An address was put on the clipboard.
    void IpCopyToClipboard();
    // "No app? Use the phone's browser" was clicked.
    void sig_WebPhoneRequested();

private slots:
    void on_pushButton_usb_link_1_clicked();
    void on_pushButton_wire_link_2_clicked();
    void on_label_usb_note_4_linkActivated(QString link);
    void CopyAddress(const QString& address);

private:
    // The OpenGL renderer, made the first time it is chosen: a window that
    // holds one (even hidden) composes every repaint through OpenGL.
    OpenGLWidget* OpenGLRenderer();

    std::unique_ptr<Ui::MainForm> ui;
    // Which renderer gets the pictures; fixed each time the display page shows.
    std::atomic<bool> renderHardware{true};
    // Read by the decoder thread; set once, before renderHardware chooses it.
    std::atomic<OpenGLWidget*> openGLWidget{nullptr};
    // The stacked widget's index, readable from the decoder thread.
    std::atomic<int> currentPage_{kPageWaitWifi};
};
